#!/usr/bin/env bash
# Builds everything, then runs every suite (unit, Windows-side under wine64,
# end-to-end) through ctest. Exits non-zero when anything fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
echo "== test"
ctest --preset all -j2 "$@"
