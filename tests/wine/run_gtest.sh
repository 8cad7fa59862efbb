#!/usr/bin/env bash
# Runs a cross-built GoogleTest binary under wine64 inside the prefix that
# run_in_prefix.sh prepared; GoogleTest's exit code is the test's.
set -euo pipefail
exe=$(realpath "${1:?usage: run_gtest.sh EXE [gtest args]}")
shift
cd "$(dirname "$exe")"
"$WINE" "$exe" --gtest_color=no "$@"
