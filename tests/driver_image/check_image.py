#!/usr/bin/env python3
"""Checks the signed kernel image VTdrvsys.sys as Windows will see it.

    check_image.py IMAGE {headers|imports|guard|version|signature}

Each check prints what it found and exits non-zero on the first mismatch.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile

NTOSKRNL_ROUTINES = {
    "sprintf_s", "strncat", "strcmp", "RtlInitAnsiString", "RtlAnsiStringToUnicodeString",
    "RtlWriteRegistryValue", "RtlFreeUnicodeString",
}

IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_EXECUTABLE_IMAGE = 0x0002
IMAGE_FILE_DLL = 0x2000
PE32_PLUS = 0x20B
SUBSYSTEM_NATIVE = 1
DLLCHAR = {"HIGH_ENTROPY_VA": 0x0020, "DYNAMIC_BASE": 0x0040, "NX_COMPAT": 0x0100,
           "GUARD_CF": 0x4000}
DIR_EXPORT, DIR_IMPORT, DIR_RESOURCE, DIR_SECURITY, DIR_BASERELOC = 0, 1, 2, 4, 5
DIR_LOAD_CONFIG = 10
IMAGE_SCN_MEM_EXECUTE = 0x20000000
GUARD_CF_INSTRUMENTED = 0x100
GUARD_CF_FUNCTION_TABLE_PRESENT = 0x400
RT_VERSION = 16


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)
    print("ok   " + message)


class Image:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        expect(d[:2] == b"MZ", "DOS header")
        self.pe = struct.unpack_from("<I", d, 0x3C)[0]
        expect(d[self.pe:self.pe + 4] == b"PE\0\0", "PE signature")
        (self.machine, self.nsections, self.timestamp, _, _, self.opt_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", d, self.pe + 4)
        self.opt = self.pe + 24
        self.magic = struct.unpack_from("<H", d, self.opt)[0]
        expect(self.magic == PE32_PLUS, "PE32+ optional header (magic 0x20B)")
        self.entry = struct.unpack_from("<I", d, self.opt + 16)[0]
        self.image_base = struct.unpack_from("<Q", d, self.opt + 24)[0]
        (self.os_major, self.os_minor, _, _, self.subsys_major,
         self.subsys_minor) = struct.unpack_from("<6H", d, self.opt + 40)
        self.checksum_offset = self.opt + 64
        self.checksum = struct.unpack_from("<I", d, self.checksum_offset)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", d, self.opt + 68)
        count = struct.unpack_from("<I", d, self.opt + 108)[0]
        self.dirs = [struct.unpack_from("<II", d, self.opt + 112 + 8 * i) for i in range(count)]
        self.sections = []
        first = self.opt + self.opt_size
        for i in range(self.nsections):
            name, vsize, va, rawsize, rawptr = struct.unpack_from("<8sIIII", d, first + 40 * i)
            flags = struct.unpack_from("<I", d, first + 40 * i + 36)[0]
            self.sections.append((name.rstrip(b"\0").decode(), va, max(vsize, rawsize), rawptr,
                                  rawsize, flags))

    def section_of(self, rva):
        for s in self.sections:
            if s[1] <= rva < s[1] + s[2]:
                return s
        raise Failure("RVA 0x%x lies in no section" % rva)

    def offset(self, rva):
        _, va, _, rawptr, _, _ = self.section_of(rva)
        return rawptr + rva - va

    def u16(self, rva):
        return struct.unpack_from("<H", self.data, self.offset(rva))[0]

    def u32(self, rva):
        return struct.unpack_from("<I", self.data, self.offset(rva))[0]

    def u64(self, rva):
        return struct.unpack_from("<Q", self.data, self.offset(rva))[0]

    def cstring(self, rva):
        start = self.offset(rva)
        return self.data[start:self.data.index(b"\0", start)].decode("ascii")


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
    rsrc, _ = img.dirs[DIR_RESOURCE]
    expect(rsrc != 0, "resource directory present")

    def entries(directory):
        named, ids = struct.unpack_from("<HH", img.data, img.offset(directory + 12))
        return [struct.unpack_from("<II", img.data, img.offset(directory + 16 + 8 * i))
                for i in range(named + ids)]

    types = dict(entries(rsrc))
    expect(RT_VERSION in types, "version resource present")
    names = dict(entries(rsrc + (types[RT_VERSION] & 0x7FFFFFFF)))
    expect(1 in names, "version resource is number 1")
    languages = dict(entries(rsrc + (names[1] & 0x7FFFFFFF)))
    expect(list(languages) == [0x0804],
           "resource language 0x0804 (%s)" % [hex(lang) for lang in languages])
    data_rva, data_size = struct.unpack_from("<II", img.data, img.offset(rsrc + languages[0x0804]))
    block = img.data[img.offset(data_rva):img.offset(data_rva) + data_size]
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


def check_signature(img, path):
    offset, size = img.dirs[DIR_SECURITY]
    expect(offset != 0 and size > 8, "certificate table present")
    expect(offset + size == len(img.data), "certificate table ends the file")
    length, revision, kind = struct.unpack_from("<IHH", img.data, offset)
    expect(revision == 0x0200 and kind == 0x0002, "WIN_CERT_REVISION_2_0, PKCS#7 signed data")
    with tempfile.TemporaryDirectory() as tmp:
        trusted = os.environ.get("KORVANE_SIGN_CAFILE")
        if not trusted:
            # The test certificate's CA travels in the signature; trust the
            # self-signed certificates found there.
            pem = os.path.join(tmp, "signature.pem")
            subprocess.run(["osslsigncode", "extract-signature", "-pem", "-in", path, "-out", pem],
                           check=True, capture_output=True)
            certs = subprocess.run(["openssl", "pkcs7", "-print_certs", "-in", pem], check=True,
                                   capture_output=True, text=True).stdout
            pattern = (r"subject=([^\n]*)\nissuer=([^\n]*)\n\s*"
                       r"(-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----)")
            roots = [c for c in re.findall(pattern, certs, re.S) if c[0].strip() == c[1].strip()]
            expect(roots, "signature carries its root certificate")
            trusted = os.path.join(tmp, "roots.pem")
            with open(trusted, "w") as f:
                f.write("\n".join(r[2] for r in roots) + "\n")
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", trusted, "-in", path],
                                capture_output=True, text=True)
    out = result.stdout + result.stderr
    digests = re.findall(r"Message digest algorithm: (\S+)", out)
    print("     digest algorithms: %s" % digests)
    expect(result.returncode == 0 and "Succeeded" in out, "osslsigncode verify succeeds")
    expect(digests == ["SHA1", "SHA256"], "a SHA-1 signature with a nested SHA-256 one")
    expect("Number of verified signatures: 2" in out, "both signatures verified")
    expect("Signature verification: ok" in out, "signature verification ok")


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    path, check = sys.argv[1], sys.argv[2]
    if not os.path.isfile(path):
        sys.exit("no image at %s: build the driver tree first (cmake --preset driver)" % path)
    try:
        img = Image(path)
        {"headers": lambda: check_headers(img),
         "imports": lambda: check_imports(img),
         "guard": lambda: check_guard(img),
         "version": lambda: check_version(img),
         "signature": lambda: check_signature(img, path)}[check]()
    except Failure as failure:
        print("FAIL " + str(failure))
        sys.exit(1)


if __name__ == "__main__":
    main()
