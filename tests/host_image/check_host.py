#!/usr/bin/env python3
"""Checks a built host executable as the Windows loader will see it.

    check_host.py EXE {i686|x86_64}

The host runs elevated, often from a downloads folder: every DLL it imports
statically must be one that Windows protects from planting (a KnownDLL, or
comctl32, which the manifest binds side by side to the system's copy).
"""
import re
import subprocess
import sys

PROTECTED = {
    "advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll", "msvcrt.dll",
    "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "shell32.dll", "shlwapi.dll", "user32.dll",
    "ws2_32.dll", "comctl32.dll",
}
FORMATS = {"i686": "pei-i386", "x86_64": "pei-x86-64"}


def main():
    exe, arch = sys.argv[1], sys.argv[2]
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], check=True,
                          capture_output=True, text=True).stdout
    failures = []

    def expect(condition, message):
        print(("ok   " if condition else "FAIL ") + message)
        if not condition:
            failures.append(message)

    expect("file format " + FORMATS[arch] in dump, "%s image (%s)" % (arch, FORMATS[arch]))
    expect(re.search(r"^Subsystem\s+00000002", dump, re.M) is not None, "Windows GUI subsystem")
    flags = int(re.search(r"^DllCharacteristics\s+([0-9a-fA-F]+)", dump, re.M).group(1), 16)
    expect(flags & 0x0040 != 0, "dynamic base")
    expect(flags & 0x0100 != 0, "NX compatible")
    dlls = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", dump)})
    print("     imports: " + ", ".join(dlls))
    for dll in dlls:
        expect(dll in PROTECTED, "%s is protected from planting" % dll)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
