#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent and
# non-interactive; does nothing when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ python3
  googletest
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
  clang-19 lld-19 llvm-19
  osslsigncode openssl
  wine64 xvfb xdotool imagemagick x11-utils
  # wine64's own recommends that its windows and fonts need
  fonts-wine libfreetype6 libfontconfig1 libxrender1 libxcursor1 libxrandr2 libxi6
  libxinerama1 libxcomposite1 libxfixes3 libxxf86vm1 libgnutls30
  fonts-wqy-microhei
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq || { echo "setup: apt-get update failed" >&2; exit 1; }
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null \
    || { echo "setup: apt-get install failed for: ${missing[*]}" >&2; exit 1; }
fi

if [ ! -x /usr/lib/wine/wine64 ]; then
  echo "setup: /usr/lib/wine/wine64 is missing after installing wine64; the Windows-side tests cannot run" >&2
  exit 1
fi
