#!/usr/bin/env bash
# Installs every Debian package the build and the tests need, then checks that
# Wine runs a 32-bit program, as the shipped host is one. Idempotent and
# non-interactive; does nothing when everything is already there.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  cmake ninja-build g++ python3
  googletest
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  clang-19 lld-19 llvm-19
  osslsigncode openssl
  # wine with wine32:i386 runs 32-bit programs through WoW64, wine64 the 64-bit ones
  wine wine64 wine32:i386 xvfb xdotool imagemagick x11-utils
  # wine64's own recommends that its windows and fonts need
  fonts-wine libfreetype6 libfontconfig1 libxrender1 libxcursor1 libxrandr2 libxi6
  libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1 libgnutls30
  fonts-wqy-microhei
)

as_root() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: $1 needs root" >&2
    exit 1
  fi
}

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  as_root "adding the i386 architecture (for wine32)"
  dpkg --add-architecture i386
  rm -f /var/lib/apt/lists/*_Packages  # so that the update below fetches the i386 lists
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  as_root "installing ${missing[*]}"
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq || { echo "setup: apt-get update failed" >&2; exit 1; }
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    || { echo "setup: apt-get install failed for: ${missing[*]}" >&2; exit 1; }
fi

for tool in /usr/lib/wine/wine /usr/lib/wine/wine64 /usr/lib/wine/wineserver; do
  [ -x "$tool" ] || { echo "setup: $tool is missing after installing wine; the Windows-side tests cannot run" >&2; exit 1; }
done

# Does this machine execute 32-bit code? The answer lands in
# build/setup/i686.status ("ok", or why not), which the harness reads to skip
# the 32-bit suites, with that reason, where they cannot run.
check=$top/build/setup
status_file=$check/i686.status
if [ "$(cat "$status_file" 2>/dev/null)" != ok ]; then
  mkdir -p "$check"
  i686-w64-mingw32-gcc -O2 -s -o "$check/i686_check.exe" "$top/tests/wine/i686_check.c" \
    || { echo "setup: the i686 compiler cannot build a console program" >&2; exit 1; }
  output=$(WINEPREFIX=$check/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
           timeout 120 /usr/lib/wine/wine "$check/i686_check.exe" 2>"$check/i686_check.log" | tr -d '\r') || true
  WINEPREFIX=$check/prefix /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  rm -rf "$check/prefix"
  if [ "$output" = "i686 runs under WoW64" ]; then
    echo ok >"$status_file"
  else
    echo "Wine could not run a 32-bit program (it printed '${output}'; see $check/i686_check.log)" >"$status_file"
    echo "setup: WARNING: $(cat "$status_file"); the 32-bit suites will be skipped" >&2
  fi
fi
echo "setup: 32-bit programs under Wine: $(cat "$status_file")"
