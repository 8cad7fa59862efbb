#!/usr/bin/env bash
# The manifest, the version block and the language of every resource inside
# the shipped host of build/dist, read from the file as Windows' loader finds
# them. (The UI test program, which links the same resources, also reads them
# back while it runs.)
set -euo pipefail
: "${KORVANE_DIST:?KORVANE_DIST must name the folder with the hosts}"

python3 - "$KORVANE_DIST/KorvaneVT.exe" x86 <<'PY'
import re
import struct
import sys

RT_VERSION, RT_MANIFEST = 16, 24
failures = 0


def check(what, ok, detail=""):
    global failures
    print(("ok: " if ok else "FAIL: ") + what + (f" ({detail})" if detail else ""))
    failures += not ok


def resources(data, wanted_type):
    """The data of every resource of one type, walking the PE resource directory
    (the host also carries the driver image, with a version block of its own)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
    table = optional + optional_size
    spans = [struct.unpack_from("<8xIIII", data, table + 40 * i) for i in range(sections)]

    def offset(rva):
        for vsize, vaddr, rawsize, rawptr in spans:
            if vaddr <= rva < vaddr + max(vsize, rawsize):
                return rawptr + rva - vaddr
        raise ValueError(f"RVA {rva:#x} outside every section")

    base = offset(rsrc_rva)

    def entries(directory):
        named, ids = struct.unpack_from("<12xHH", data, base + directory)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + directory + 16 + 8 * i)
            yield name, target

    found = []

    def leaves(target):
        if target & 0x80000000:
            for _, sub in entries(target & 0x7FFFFFFF):
                leaves(sub)
        else:
            rva, size = struct.unpack_from("<II", data, base + target)
            found.append(data[offset(rva):offset(rva) + size])

    for name, target in entries(0):
        if name == wanted_type:
            leaves(target)
    return found, entries


def languages(data):
    """(type, name, language) of every resource: the directory's three levels."""
    _, entries = resources(data, None)
    found = []
    for type_, types in entries(0):
        for name, names in entries(types & 0x7FFFFFFF):
            for language, _ in entries(names & 0x7FFFFFFF):
                found.append((type_, name, language))
    return found


def utf16(text):
    return text.encode("utf-16-le")


def string_value(block, name):
    """A StringFileInfo value: its key, a zero, padding to 4 bytes, the value."""
    key = utf16(name) + b"\0\0"
    at = block.find(key)
    if at < 0:
        return None
    start = at + len(key)
    while block[start:start + 2] == b"\0\0":
        start += 2
    end = start
    while block[end:end + 2] != b"\0\0":
        end += 2
    return block[start:end].decode("utf-16-le")


args = sys.argv[1:]
for path, arch in zip(args[::2], args[1::2]):
    print(f"== {path}")
    data = open(path, "rb").read()
    every = languages(data)
    check("resources present", len(every) >= 6, f"{len(every)} found")
    foreign = [(t, n, hex(l)) for t, n, l in every if l != 0x0804]
    check("every resource in language 0x0804", not foreign, repr(foreign))
    manifests, _ = resources(data, RT_MANIFEST)
    check("one application manifest", len(manifests) == 1, f"{len(manifests)} found")
    if manifests:
        xml = manifests[0].decode()
        check("requireAdministrator, uiAccess false",
              '<requestedExecutionLevel level="requireAdministrator" uiAccess="false"/>' in xml)
        check("own identity win32/" + arch,
              re.search(r'<assemblyIdentity type="win32" name="[^"]+" version="[^"]+" '
                        r'processorArchitecture="' + arch + '"/>', xml) is not None)
        check("common controls 6.0.0.0 for " + arch,
              re.search(r'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"\s+'
                        r'processorArchitecture="' + arch + r'" publicKeyToken="6595b64144ccf1df" '
                        r'language="\*"', xml) is not None)
    blocks, _ = resources(data, RT_VERSION)
    check("one version block", len(blocks) == 1, f"{len(blocks)} found")
    if not blocks:
        continue
    block = blocks[0]
    fixed = block.find(struct.pack("<I", 0xFEEF04BD))
    check("VS_FIXEDFILEINFO present", fixed >= 0)
    if fixed >= 0:
        (_, _, fv_ms, fv_ls, pv_ms, pv_ls, _, flags, os_, type_, _, _, _) = \
            struct.unpack_from("<13I", block, fixed)
        check("file and product version 1.0.0.0",
              (fv_ms, fv_ls, pv_ms, pv_ls) == (0x10000, 0, 0x10000, 0),
              f"{fv_ms:#x} {fv_ls:#x} {pv_ms:#x} {pv_ls:#x}")
        check("no flags, OS 4, type 1", (flags, os_, type_) == (0, 4, 1), f"{flags} {os_} {type_}")
    check("string table 080404B0", utf16("080404B0") in block)
    for name in ("FileVersion", "ProductVersion"):
        value = string_value(block, name)
        check(f'{name} "1.0.0.0"', value == "1.0.0.0", repr(value))
    key = utf16("Translation") + b"\0\0"
    at = block.find(key)
    value = None
    if at >= 0:
        at += len(key)
        at += (4 - at % 4) % 4  # values start on a 32-bit boundary of the block
        value = struct.unpack_from("<HH", block, at)
    check("translation 0x0804, 1200", value == (0x0804, 1200), repr(value))
sys.exit(1 if failures else 0)
PY
