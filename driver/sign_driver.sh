#!/usr/bin/env bash
# Authenticode-signs the kernel image: a SHA-1 signature (what Windows 7 checks)
# with a nested SHA-256 one, then prints the image's size and imports.
#   sign_driver.sh UNSIGNED SIGNED WORKDIR
#
# Environment (all optional):
#   KORVANE_SIGN_PFX       PKCS#12 file with the signing certificate, its key and chain.
#                          Without it a test CA and certificate are made in WORKDIR.
#   KORVANE_SIGN_PASSWORD  password of that PKCS#12 file.
#   KORVANE_TIMESTAMP_URL  time-stamp server; both signatures are then countersigned
#                          (Authenticode time stamp for SHA-1, RFC 3161 for SHA-256).
set -euo pipefail
unsigned=${1:?usage: sign_driver.sh UNSIGNED SIGNED WORKDIR}
signed=${2:?usage: sign_driver.sh UNSIGNED SIGNED WORKDIR}
workdir=${3:?usage: sign_driver.sh UNSIGNED SIGNED WORKDIR}
mkdir -p "$workdir"

if [ -n "${KORVANE_SIGN_PFX:-}" ]; then
  credentials=(-pkcs12 "$KORVANE_SIGN_PFX")
  [ -n "${KORVANE_SIGN_PASSWORD:-}" ] && credentials+=(-pass "$KORVANE_SIGN_PASSWORD")
else
  # A throwaway test CA and a code-signing certificate issued by it, made once per
  # build tree. The keys never leave the build tree.
  ca_key=$workdir/test-ca.key ca_cert=$workdir/test-ca.pem
  key=$workdir/test-signing.key cert=$workdir/test-signing.pem
  if [ ! -s "$cert" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
      -subj "/O=Quorvel/CN=Quorvel KorvaneVT Test CA" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
      -keyout "$ca_key" -out "$ca_cert" 2>/dev/null
    openssl req -new -newkey rsa:2048 -nodes -sha256 \
      -subj "/O=Quorvel/CN=Quorvel KorvaneVT Test Driver Signing" \
      -keyout "$key" -out "$workdir/test-signing.csr" 2>/dev/null
    printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
      "extendedKeyUsage=codeSigning" >"$workdir/test-signing.ext"
    openssl x509 -req -sha256 -days 3650 -in "$workdir/test-signing.csr" \
      -CA "$ca_cert" -CAkey "$ca_key" -set_serial 0x$(openssl rand -hex 8) \
      -extfile "$workdir/test-signing.ext" -out "$cert" 2>/dev/null
    cat "$cert" "$ca_cert" >"$workdir/test-chain.pem"
  fi
  credentials=(-certs "$workdir/test-chain.pem" -key "$key")
fi

sha1_timestamp=() sha256_timestamp=()
if [ -n "${KORVANE_TIMESTAMP_URL:-}" ]; then
  sha1_timestamp=(-t "$KORVANE_TIMESTAMP_URL")
  sha256_timestamp=(-ts "$KORVANE_TIMESTAMP_URL")
fi

common=(-n "KorvaneVT" -i "https://korvane.example/")
tmp=$workdir/VTdrvsys.sha1.sys
rm -f "$tmp" "$signed.tmp"
osslsigncode sign "${credentials[@]}" "${common[@]}" -h sha1 "${sha1_timestamp[@]}" \
  -in "$unsigned" -out "$tmp" >/dev/null
osslsigncode sign "${credentials[@]}" "${common[@]}" -nest -h sha256 "${sha256_timestamp[@]}" \
  -in "$tmp" -out "$signed.tmp" >/dev/null
mv -f "$signed.tmp" "$signed"
rm -f "$tmp"

echo "VTdrvsys.sys: $(stat -c %s "$signed") bytes, signed (SHA-1 + nested SHA-256) -> $signed"
echo "VTdrvsys.sys imports:"
llvm-objdump-19 -p "$signed" | awk '
  /DLL Name:/ { print "  " $3; next }
  /^[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ && inimports { print "    " $2 }
  /Hint/ { inimports = 1 }
  /^$/ { inimports = 0 }'
