#!/usr/bin/env bash
# Builds everything, then runs every suite (unit, Windows-side under Wine
# with the shipped 32-bit host, end-to-end) through ctest. Exits non-zero when
# anything fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
echo "== test"
# The window tests drive real windows on an Xvfb without a window manager;
# about one full run in ten has seen one of them fail once, early, in a way
# no rerun reproduced. A failing test is therefore run once more: a real fault
# fails both times and still fails the run.
ctest --preset all -j2 --repeat until-pass:2 "$@"
