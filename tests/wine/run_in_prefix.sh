#!/usr/bin/env bash
# Runs one Windows-side test in its own copy of this run's Wine prefix.
#   run_in_prefix.sh TEMPLATE WORKDIR [--i686] [--display] -- COMMAND [ARGS...]
# WORKDIR is emptied first and kept afterwards (screenshots, logs). With
# --i686 the test runs 32-bit code: where scripts/setup.sh found that this
# machine cannot, it is skipped (exit 77) with the reason. With --display a
# private Xvfb is started before any Wine process, so that the wineserver of
# the copy gets a display. The command sees WINEPREFIX, WINE,
# WINESERVER, DISPLAY (with --display) and KORVANE_WORKDIR.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"

template=$(realpath -m "${1:?usage: run_in_prefix.sh TEMPLATE WORKDIR [--i686] [--display] -- COMMAND...}")
workdir=$(realpath -m "${2:?usage: run_in_prefix.sh TEMPLATE WORKDIR [--i686] [--display] -- COMMAND...}")
shift 2
display=0
i686=0
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
    --display) display=1 ;;
    --i686) i686=1 ;;
    *) echo "run_in_prefix: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ "${1:-}" = "--" ] && shift
[ $# -gt 0 ] || { echo "run_in_prefix: no command given" >&2; exit 2; }
if [ $i686 -eq 1 ]; then
  status_file=$(cd "$here/../.." && pwd)/build/setup/i686.status
  status=$(cat "$status_file" 2>/dev/null || echo "scripts/setup.sh has not checked whether 32-bit programs run here")
  if [ "$status" != ok ]; then
    echo "SKIPPED: this test runs 32-bit code, and this machine cannot: $status"
    exit 77
  fi
fi
[ -f "$template/system.reg" ] || { echo "run_in_prefix: no Wine prefix at $template (the wine.prefix test makes it)" >&2; exit 1; }

rm -rf "$workdir"
mkdir -p "$workdir"
export KORVANE_WORKDIR=$workdir
export WINEPREFIX=$workdir/prefix
export WINE WINESERVER
cp -a "$template" "$WINEPREFIX"

xvfb_pid=
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT

if [ $display -eq 1 ]; then
  Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$workdir/display" 2>"$workdir/xvfb.log" &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$workdir/display" ] && break; sleep 0.1; done
  [ -s "$workdir/display" ] || { echo "run_in_prefix: Xvfb did not start" >&2; cat "$workdir/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$(head -n1 "$workdir/display")"
fi

"$@"
