#!/usr/bin/env bash
# Authenticode-signs one PE image, the kernel driver or the host alike: a SHA-1
# signature (what Windows 7 checks) with a nested SHA-256 one, then prints the
# signed file's size and, with --imports, its import list.
#   sign_image.sh [--imports] UNSIGNED SIGNED CERTDIR
#
# Environment (all optional):
#   KORVANE_SIGN_PFX       PKCS#12 file with the signing certificate, its key and chain.
#                          Without it a throwaway test CA and a certificate issued by it
#                          are made once in CERTDIR and used for every image.
#   KORVANE_SIGN_PASSWORD  password of that PKCS#12 file.
#   KORVANE_TIMESTAMP_URL  time-stamp server; both signatures are then countersigned
#                          (Authenticode time stamp for SHA-1, RFC 3161 for SHA-256).
set -euo pipefail
usage="usage: sign_image.sh [--imports] UNSIGNED SIGNED CERTDIR"
fail() { echo "sign_image: $*" >&2; exit 1; }

imports=0
if [ "${1:-}" = --imports ]; then imports=1; shift; fi
[ $# -eq 3 ] || fail "$usage"
unsigned=$1 signed=$2 certdir=$3
name=$(basename "$signed")
for tool in osslsigncode openssl; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/setup.sh installs it)"
done
[ -f "$unsigned" ] || fail "no image to sign at $unsigned"
mkdir -p "$(dirname "$signed")"

if [ -n "${KORVANE_SIGN_PFX:-}" ]; then
  [ -r "$KORVANE_SIGN_PFX" ] || fail "KORVANE_SIGN_PFX names $KORVANE_SIGN_PFX, which cannot be read"
  credentials=(-pkcs12 "$KORVANE_SIGN_PFX")
  # Read from a pipe, not passed on osslsigncode's command line.
  [ -n "${KORVANE_SIGN_PASSWORD:-}" ] && credentials+=(-readpass /dev/stdin)
  signer="the certificate in $KORVANE_SIGN_PFX"
else
  # A throwaway test CA and a code-signing certificate issued by it, made once
  # for every build tree, so that a test machine trusts one root for host and
  # driver. The keys never leave build/. The lock keeps two trees built at the
  # same time from making two CAs.
  mkdir -p "$certdir"
  ca_key=$certdir/test-ca.key ca_cert=$certdir/test-ca.pem
  key=$certdir/test-signing.key cert=$certdir/test-signing.pem chain=$certdir/test-chain.pem
  exec 9>"$certdir/.lock"
  flock 9
  if [ ! -s "$chain" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
      -subj "/O=Quorvel/CN=Quorvel KorvaneVT Test CA" \
      -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
      -keyout "$ca_key" -out "$ca_cert" 2>/dev/null || fail "making the test CA in $certdir failed"
    openssl req -new -newkey rsa:2048 -nodes -sha256 \
      -subj "/O=Quorvel/CN=Quorvel KorvaneVT Test Code Signing" \
      -keyout "$key" -out "$certdir/test-signing.csr" 2>/dev/null \
      || fail "making the test signing key in $certdir failed"
    printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
      "extendedKeyUsage=codeSigning" >"$certdir/test-signing.ext"
    openssl x509 -req -sha256 -days 3650 -in "$certdir/test-signing.csr" \
      -CA "$ca_cert" -CAkey "$ca_key" -set_serial "0x$(openssl rand -hex 8)" \
      -extfile "$certdir/test-signing.ext" -out "$cert" 2>/dev/null \
      || fail "issuing the test signing certificate in $certdir failed"
    cat "$cert" "$ca_cert" >"$chain.tmp"
    mv -f "$chain.tmp" "$chain"
  fi
  flock -u 9
  credentials=(-certs "$chain" -key "$key")
  signer="the throwaway test certificate in $certdir"
fi

sha1_timestamp=() sha256_timestamp=()
if [ -n "${KORVANE_TIMESTAMP_URL:-}" ]; then
  sha1_timestamp=(-t "$KORVANE_TIMESTAMP_URL")
  sha256_timestamp=(-ts "$KORVANE_TIMESTAMP_URL")
fi

common=(-n "KorvaneVT" -i "https://korvane.example/")
sha1=$signed.sha1.tmp sha256=$signed.sha256.tmp
rm -f "$sha1" "$sha256"
trap 'rm -f "$sha1" "$sha256"' EXIT
# The password, if any, reaches osslsigncode on its standard input.
sign() {
  printf '%s' "${KORVANE_SIGN_PASSWORD:-}" |
    osslsigncode sign "${credentials[@]}" "${common[@]}" "$@" >/dev/null
}
sign -h sha1 "${sha1_timestamp[@]}" -in "$unsigned" -out "$sha1" \
  || fail "the SHA-1 signature of $name with $signer failed"
sign -nest -h sha256 "${sha256_timestamp[@]}" -in "$sha1" -out "$sha256" \
  || fail "the nested SHA-256 signature of $name with $signer failed"
mv -f "$sha256" "$signed"

echo "$name: $(stat -c %s "$signed") bytes, signed (SHA-1 + nested SHA-256) -> $signed"
if [ "$imports" = 1 ]; then
  echo "$name imports:"
  llvm-objdump-19 -p "$signed" | awk '
    /DLL Name:/ { print "  " $3; next }
    /^[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ && inimports { print "    " $2 }
    /Hint/ { inimports = 1 }
    /^$/ { inimports = 0 }'
fi
