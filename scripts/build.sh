#!/usr/bin/env bash
# Installs what is missing, then builds every tree in the order the products
# need: the signed driver, the i686 host that embeds it with the Windows-side
# tests, then the native tree whose ctest runs every suite. Outputs land in
# build/dist/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

"$top/scripts/setup.sh"

for preset in driver i686 native; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null || { echo "build: configuring the $preset tree failed" >&2; exit 1; }
  cmake --build --preset "$preset" || { echo "build: building the $preset tree failed" >&2; exit 1; }
done
