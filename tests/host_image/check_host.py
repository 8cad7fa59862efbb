#!/usr/bin/env python3
"""Checks the shipped host executable as Windows will see it.

    check_host.py EXE {i686|x86_64} {loader|signature|driver} [DRIVER]

loader     The host runs elevated, often from a downloads folder: every DLL it
           imports statically must be one that Windows protects from planting (a
           KnownDLL, or comctl32, which the manifest binds side by side to the
           system's copy).
signature  The elevation prompt names the host's publisher: its Authenticode
           signature verifies, and is by the same certificate as the driver's.
driver     The driver resource inside the signed host is the shipped signed
           DRIVER image, byte for byte.

DRIVER is the shipped VTdrvsys.sys (signature and driver checks).
"""
import base64
import hashlib
import os
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "image_support"))
from pe_image import (PE32, PE32_PLUS, RT_RCDATA, Failure, Image,  # noqa: E402
                      certificates, check_signature, expect)

PROTECTED = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "ws2_32.dll", "comctl32.dll",
}
FORMATS = {"i686": ("pei-i386", PE32), "x86_64": ("pei-x86-64", PE32_PLUS)}
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def check_loader(img, arch):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", img.path], check=True,
                          capture_output=True, text=True).stdout
    failures = []

    def note(condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        if not condition:
            failures.append(message)

    note("file format " + FORMATS[arch][0] in dump, "%s image (%s)" % (arch, FORMATS[arch][0]))
    note(re.search(r"^Subsystem\s+00000002", dump, re.M) is not None, "Windows GUI subsystem")
    flags = int(re.search(r"^DllCharacteristics\s+([0-9a-fA-F]+)", dump, re.M).group(1), 16)
    note(flags & 0x0040 != 0, "dynamic base")
    note(flags & 0x0100 != 0, "NX compatible")
    dlls = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)})
    print("     imports: " + ", ".join(dlls))
    for dll in dlls:
        note(dll in PROTECTED, "%s is protected from planting" % dll)
    if failures:
        raise Failure("%d loader checks failed" % len(failures))


def fingerprint(pem):
    body = "".join(line for line in pem.splitlines() if not line.startswith("-----"))
    return hashlib.sha256(base64.b64decode(body)).hexdigest()


def check_host_signature(img, driver_path):
    check_signature(img)
    # Whether the driver's own signature holds is image.signature's to say; here
    # only the certificates it was made with count.
    host, driver = certificates(img.path), certificates(driver_path)

    def named(certs):
        return ["%s (SHA-256 %s)" % (c[0], fingerprint(c[2])[:16]) for c in certs]

    expect(host == driver, "host signed with the driver's certificates (host: %s; driver: %s)"
           % (named(host), named(driver)))


def driver_resource_id():
    """IDR_DRIVER_IMAGE, from the header that the host and its resource script share."""
    with open(os.path.join(SOURCE, "host", "driver_image_id.h")) as f:
        found = re.search(r"^#define IDR_DRIVER_IMAGE (\d+)$", f.read(), re.M)
    expect(found is not None, "IDR_DRIVER_IMAGE defined in host/driver_image_id.h")
    return int(found.group(1))


def check_driver_resource(img, driver_path):
    with open(driver_path, "rb") as f:
        shipped = f.read()
    languages = img.resource(RT_RCDATA, driver_resource_id())
    expect(list(languages) == [0x0804],
           "one driver resource, language 0x0804 (%s)" % [hex(lang) for lang in languages])
    embedded = languages[0x0804]
    print("     embedded: %d bytes, %s: %d bytes" % (len(embedded), driver_path, len(shipped)))
    differs = next((i for i, (a, b) in enumerate(zip(embedded, shipped)) if a != b), None)
    expect(differs is None, "embedded and shipped images agree in every byte they share"
           + ("" if differs is None else " (first difference at offset %d)" % differs))
    expect(len(embedded) == len(shipped), "embedded image is the whole shipped image")


CHECKS = {
    "loader": lambda img, arch, driver: check_loader(img, arch),
    "signature": lambda img, arch, driver: check_host_signature(img, driver),
    "driver": lambda img, arch, driver: check_driver_resource(img, driver),
}


def main():
    if len(sys.argv) not in (4, 5) or sys.argv[2] not in FORMATS or sys.argv[3] not in CHECKS:
        sys.exit(__doc__)
    path, arch, check = sys.argv[1:4]
    driver = sys.argv[4] if len(sys.argv) == 5 else None
    for file, tree in ((path, "the %s tree" % arch), (driver, "the driver tree")):
        if file is not None and not os.path.isfile(file):
            sys.exit("no file at %s: build %s first (scripts/build.sh)" % (file, tree))
    if check in ("signature", "driver") and driver is None:
        sys.exit("the %s check needs the shipped driver image\n%s" % (check, __doc__))
    try:
        img = Image(path)
        expect(img.magic == FORMATS[arch][1], "%s optional header (magic 0x%X)"
               % ("PE32" if FORMATS[arch][1] == PE32 else "PE32+", FORMATS[arch][1]))
        CHECKS[check](img, arch, driver)
    except Failure as failure:
        print("FAIL " + str(failure))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
