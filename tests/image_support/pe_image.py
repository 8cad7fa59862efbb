"""PE images as the Windows loader and WinVerifyTrust see them, for the checks
of the shipped files: headers, sections, resources and the Authenticode
signature. Shared by the driver's and the host's image checks.
"""
import os
import re
import struct
import subprocess
import tempfile

PE32, PE32_PLUS = 0x10B, 0x20B
DIR_EXPORT, DIR_IMPORT, DIR_RESOURCE, DIR_SECURITY, DIR_BASERELOC = 0, 1, 2, 4, 5
DIR_LOAD_CONFIG = 10
RT_RCDATA, RT_VERSION = 10, 16


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)
    print("ok   " + message)


class Image:
    def __init__(self, path):
        self.path = path
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
        if self.magic not in (PE32, PE32_PLUS):
            raise Failure("optional header magic 0x%x is neither PE32 nor PE32+" % self.magic)
        wide = self.magic == PE32_PLUS
        self.entry = struct.unpack_from("<I", d, self.opt + 16)[0]
        self.image_base = struct.unpack_from("<Q" if wide else "<I", d,
                                             self.opt + (24 if wide else 28))[0]
        (self.os_major, self.os_minor, _, _, self.subsys_major,
         self.subsys_minor) = struct.unpack_from("<6H", d, self.opt + 40)
        self.checksum_offset = self.opt + 64
        self.checksum = struct.unpack_from("<I", d, self.checksum_offset)[0]
        self.subsystem, self.dll_characteristics = struct.unpack_from("<HH", d, self.opt + 68)
        directories = self.opt + (112 if wide else 96)
        count = struct.unpack_from("<I", d, directories - 4)[0]
        self.dirs = [struct.unpack_from("<II", d, directories + 8 * i) for i in range(count)]
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

    def resource(self, type_id, name_id):
        """The data of one resource, by language: {language: bytes}."""
        rsrc, _ = self.dirs[DIR_RESOURCE]
        expect(rsrc != 0, "resource directory present")

        def entries(directory):
            named, ids = struct.unpack_from("<HH", self.data, self.offset(directory + 12))
            return dict(struct.unpack_from("<II", self.data, self.offset(directory + 16 + 8 * i))
                        for i in range(named + ids))

        types = entries(rsrc)
        expect(type_id in types, "resource type %d present" % type_id)
        names = entries(rsrc + (types[type_id] & 0x7FFFFFFF))
        expect(name_id in names, "resource %d of type %d present" % (name_id, type_id))
        found = {}
        for language, leaf in entries(rsrc + (names[name_id] & 0x7FFFFFFF)).items():
            data_rva, data_size = struct.unpack_from("<II", self.data, self.offset(rsrc + leaf))
            start = self.offset(data_rva)
            found[language] = self.data[start:start + data_size]
        return found


def signers(verify_output):
    """(subject, issuer, serial) of the signer of each signature, in file order."""
    return re.findall(r"Signer's certificate:\s*-+\s*Signer #0:\s*Subject: ([^\n]*)\n"
                      r"\s*Issuer : ([^\n]*)\n\s*Serial : (\S+)", verify_output)


def certificates(path):
    """The certificates that the file's signature carries: (subject, issuer, PEM),
    sorted."""
    with tempfile.TemporaryDirectory() as tmp:
        pem = os.path.join(tmp, "signature.pem")
        extracted = subprocess.run(["osslsigncode", "extract-signature", "-pem", "-in", path,
                                    "-out", pem], capture_output=True, text=True)
        expect(extracted.returncode == 0, "signature extracted from " + os.path.basename(path))
        printed = subprocess.run(["openssl", "pkcs7", "-print_certs", "-in", pem], check=True,
                                 capture_output=True, text=True).stdout
    pattern = (r"subject=([^\n]*)\nissuer=([^\n]*)\n\s*"
               r"(-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----)")
    return sorted((s.strip(), i.strip(), c) for s, i, c in re.findall(pattern, printed, re.S))


def verify(path):
    """osslsigncode verify of the file against the root in KORVANE_SIGN_CAFILE, or
    else the self-signed root that the signature carries (the throwaway test CA):
    (exit status, output)."""
    with tempfile.TemporaryDirectory() as tmp:
        trusted = os.environ.get("KORVANE_SIGN_CAFILE")
        if not trusted:
            roots = [c for c in certificates(path) if c[0] == c[1]]
            expect(roots, "signature carries its root certificate")
            trusted = os.path.join(tmp, "roots.pem")
            with open(trusted, "w") as f:
                f.write("\n".join(r[2] for r in roots) + "\n")
        result = subprocess.run(["osslsigncode", "verify", "-CAfile", trusted, "-in", path],
                                capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


def check_signature(img):
    """Verifies the Authenticode signatures of the image. Expects what
    scripts/sign_image.sh makes: a SHA-1 signature with a nested SHA-256 one,
    both by one signer. Returns that signer as (subject, issuer, serial)."""
    offset, size = img.dirs[DIR_SECURITY]
    expect(offset != 0 and size > 8, "certificate table present")
    expect(offset + size == len(img.data), "certificate table ends the file")
    length, revision, kind = struct.unpack_from("<IHH", img.data, offset)
    expect(revision == 0x0200 and kind == 0x0002, "WIN_CERT_REVISION_2_0, PKCS#7 signed data")
    status, out = verify(img.path)
    digests = re.findall(r"Message digest algorithm: (\S+)", out)
    print("     digest algorithms: %s" % digests)
    expect(status == 0 and "Succeeded" in out, "osslsigncode verify succeeds")
    expect(digests == ["SHA1", "SHA256"], "a SHA-1 signature with a nested SHA-256 one")
    expect("Number of verified signatures: 2" in out, "both signatures verified")
    expect("Signature verification: ok" in out, "signature verification ok")
    by = signers(out)
    print("     signed by: %s" % sorted(set(s[0] for s in by)))
    expect(len(by) == 2 and by[0] == by[1], "both signatures by one certificate")
    return by[0]
