#!/usr/bin/env python3
"""Checks the signed kernel image VTdrvsys.sys as Windows will see it.

    check_image.py IMAGE {headers|imports|guard|version|signature}

Each check prints what it found and exits non-zero on the first mismatch.
"""
import os
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "image_support"))
from pe_image import (DIR_BASERELOC, DIR_EXPORT, DIR_IMPORT, DIR_LOAD_CONFIG,  # noqa: E402
                      PE32_PLUS, RT_VERSION, Failure, Image, check_signature, expect)

NTOSKRNL_ROUTINES = {
    "sprintf_s", "strncat", "strcmp", "RtlInitAnsiString", "RtlAnsiStringToUnicodeString",
    "RtlWriteRegistryValue", "RtlFreeUnicodeString",
}

IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_EXECUTABLE_IMAGE = 0x0002
IMAGE_FILE_DLL = 0x2000
SUBSYSTEM_NATIVE = 1
DLLCHAR = {"HIGH_ENTROPY_VA": 0x0020, "DYNAMIC_BASE": 0x0040, "NX_COMPAT": 0x0100,
           "GUARD_CF": 0x4000}
IMAGE_SCN_MEM_EXECUTE = 0x20000000
GUARD_CF_INSTRUMENTED = 0x100
GUARD_CF_FUNCTION_TABLE_PRESENT = 0x400


def pe_checksum(data, checksum_offset):
    padded = data + b"\0" * (len(data) % 2)
    total = 0
    for i, (word,) in enumerate(struct.iter_unpack("<H", padded)):
        if 2 * i in (checksum_offset, checksum_offset + 2):
            continue
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def check_headers(img):
    expect(img.machine == IMAGE_FILE_MACHINE_AMD64, "machine x86-64 (0x%04x)" % img.machine)
    expect(img.characteristics & IMAGE_FILE_EXECUTABLE_IMAGE, "executable image")
    expect(not img.characteristics & IMAGE_FILE_DLL, "not flagged as a DLL")
    expect(img.timestamp == 0, "no time stamp in the header (reproducible)")
    expect(img.subsystem == SUBSYSTEM_NATIVE, "subsystem native (%d)" % img.subsystem)
    expect((img.subsys_major, img.subsys_minor) == (6, 1),
           "minimum subsystem version 6.1 (%d.%d)" % (img.subsys_major, img.subsys_minor))
    for name, bit in DLLCHAR.items():
        expect(img.dll_characteristics & bit, "DLL characteristics: " + name)
    expect(img.dirs[DIR_BASERELOC][1] > 0, "base relocations present (dynamic base is real)")
    expect(img.dirs[DIR_EXPORT] == (0, 0), "no export table")
    text = img.section_of(img.entry)
    expect(text[5] & IMAGE_SCN_MEM_EXECUTE, "entry point in executable code (%s)" % text[0])
    computed = pe_checksum(img.data, img.checksum_offset)
    expect(img.checksum != 0, "checksum filled in (0x%08x)" % img.checksum)
    expect(img.checksum == computed, "checksum correct (computed 0x%08x)" % computed)


def check_imports(img):
    rva, size = img.dirs[DIR_IMPORT]
    expect(size > 0, "import directory present")
    dlls = {}
    while True:
        lookup, _, _, name, iat = struct.unpack_from("<IIIII", img.data, img.offset(rva))
        if name == 0:
            break
        thunk = lookup or iat
        routines = []
        while True:
            entry = img.u64(thunk)
            if entry == 0:
                break
            if entry >> 63:
                raise Failure("%s imported by ordinal %d" % (img.cstring(name), entry & 0xFFFF))
            routines.append(img.cstring((entry & 0x7FFFFFFF) + 2))
            thunk += 8
        dlls[img.cstring(name)] = routines
        rva += 20
    print("     imports: %s" % dlls)
    expect(list(dlls) == ["ntoskrnl.exe"], "imports from ntoskrnl.exe only")
    routines = dlls["ntoskrnl.exe"]
    expect(len(routines) == len(set(routines)), "each routine imported once")
    expect(set(routines) == NTOSKRNL_ROUTINES,
           "exactly the seven routines (missing %s, extra %s)"
           % (sorted(NTOSKRNL_ROUTINES - set(routines)), sorted(set(routines) - NTOSKRNL_ROUTINES)))


def check_guard(img):
    rva, size = img.dirs[DIR_LOAD_CONFIG]
    expect(rva != 0 and size >= 0x94, "load configuration directory covers GuardFlags")
    declared = img.u32(rva)
    expect(declared >= 0x94, "load configuration Size 0x%x covers GuardFlags" % declared)
    base = img.image_base
    check_fptr, dispatch_fptr, table, count = (img.u64(rva + o) for o in (0x70, 0x78, 0x80, 0x88))
    flags = img.u32(rva + 0x90)
    expect(flags & GUARD_CF_INSTRUMENTED, "GuardFlags: CF_INSTRUMENTED (0x%x)" % flags)
    expect(flags & GUARD_CF_FUNCTION_TABLE_PRESENT, "GuardFlags: CF_FUNCTION_TABLE_PRESENT")
    for label, va in (("check", check_fptr), ("dispatch", dispatch_fptr)):
        expect(va > base, "guard %s routine pointer set" % label)
        target = img.u64(va - base)
        expect(img.section_of(target - base)[5] & IMAGE_SCN_MEM_EXECUTE,
               "guard %s routine pointer points at code" % label)
    # At least DriverEntry and the unload routine, both called indirectly by the kernel.
    expect(table > base and count >= 2, "guard function table present (%d entries)" % count)
    stride = 4 + ((flags >> 28) & 0xF)  # extra bytes of metadata per entry
    entries = [img.u32(table - base + stride * i) for i in range(count)]
    expect(img.entry in entries, "entry point is a valid call target")
    for entry in entries:
        expect(img.section_of(entry)[5] & IMAGE_SCN_MEM_EXECUTE, "call target 0x%x is code" % entry)


def version_blocks(data, offset):
    """Parses one VS_VERSIONINFO-style block: (key, value bytes, children)."""
    length, value_length, value_type = struct.unpack_from("<HHH", data, offset)
    end = offset + length
    pos = offset + 6
    key_end = pos
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[pos:key_end].decode("utf-16-le")
    pos = (key_end + 2 + 3) & ~3
    value_size = value_length * (2 if value_type == 1 else 1)
    value = data[pos:pos + value_size]
    pos = (pos + value_size + 3) & ~3
    children = []
    while pos < end:
        child = version_blocks(data, pos)
        children.append(child[:3])
        pos = (pos + child[3] + 3) & ~3
    return key, value, children, length


def check_version(img):
    languages = img.resource(RT_VERSION, 1)
    expect(list(languages) == [0x0804],
           "resource language 0x0804 (%s)" % [hex(lang) for lang in languages])
    block = languages[0x0804]
    key, fixed, children, _ = version_blocks(block, 0)
    expect(key == "VS_VERSION_INFO", "VS_VERSION_INFO block")
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    expect(signature == 0xFEEF04BD, "VS_FIXEDFILEINFO signature")

    def dotted(ms, ls):
        return "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    expect(dotted(file_ms, file_ls) == "1.0.0.2", "file version " + dotted(file_ms, file_ls))
    expect(dotted(product_ms, product_ls) == "1.0.0.2",
           "product version " + dotted(product_ms, product_ls))
    by_key = {c[0]: c for c in children}
    expect("StringFileInfo" in by_key and "VarFileInfo" in by_key, "string and translation tables")
    tables = {t[0]: t for t in by_key["StringFileInfo"][2]}
    expect(list(tables) == ["080404b0"], "string table 080404b0 (%s)" % list(tables))
    strings = {s[0]: s[1].decode("utf-16-le").rstrip("\0") for s in tables["080404b0"][2]}
    print("     strings: %s" % strings)
    expect(strings.get("FileVersion") == "1.0.0.2", "FileVersion string 1.0.0.2")
    expect(strings.get("ProductVersion") == "1.0.0.2", "ProductVersion string 1.0.0.2")
    expect(strings.get("CompanyName") == "Quorvel", "CompanyName Quorvel")
    expect(strings.get("OriginalFilename") == "VTdrvsys.sys", "OriginalFilename VTdrvsys.sys")
    translation = {v[0]: v[1] for v in by_key["VarFileInfo"][2]}.get("Translation", b"")
    expect(translation == struct.pack("<HH", 0x0804, 1200), "translation 0x0804, code page 1200")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    path, check = sys.argv[1], sys.argv[2]
    if not os.path.isfile(path):
        sys.exit("no image at %s: build the driver tree first (cmake --preset driver)" % path)
    try:
        img = Image(path)
        expect(img.magic == PE32_PLUS, "PE32+ optional header (magic 0x20B)")
        {"headers": lambda: check_headers(img),
         "imports": lambda: check_imports(img),
         "guard": lambda: check_guard(img),
         "version": lambda: check_version(img),
         "signature": lambda: check_signature(img)}[check]()
    except Failure as failure:
        print("FAIL " + str(failure))
        sys.exit(1)


if __name__ == "__main__":
    main()
