#!/usr/bin/env bash
# Builds everything and starts the tool under Wine: the shipped i686 host, which
# deploys the real signed driver and shows the verdicts of this machine. On a
# display when there is one; otherwise under Xvfb, saving a screenshot.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/build.sh"
source "$top/tests/wine/env.sh"

run=$top/build/run
export WINEPREFIX=$run/prefix
[ -f "$WINEPREFIX/system.reg" ] || "$top/tests/wine/make_prefix.sh" "$WINEPREFIX"
# Windows creates the key on the driver's first write; Wine's kernel does not.
"$WINE" reg add 'HKLM\SOFTWARE\Quorvel' /reg:64 /f >/dev/null
"$WINESERVER" -k 2>/dev/null || true
mkdir -p "$WINEPREFIX/drive_c/KorvaneVT"
cp "$top/build/dist/KorvaneVT.exe" "$WINEPREFIX/drive_c/KorvaneVT/"
host='C:\KorvaneVT\KorvaneVT.exe'

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$WINE" "$host"
fi

echo "run: no display; starting the tool under Xvfb"
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$run/display" 2>"$run/xvfb.log" &
xvfb=$!
trap '"$WINESERVER" -k 2>/dev/null || true; kill $xvfb 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$run/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$run/display")"

"$WINE" "$host" &
window=$(timeout 60 xdotool search --sync --onlyvisible --name 'KorvaneVT' | head -n1) \
  || { echo "run: the main window did not appear" >&2; exit 1; }
sleep 1
import -window root "$run/screenshot.png"
echo "run: the main window is shown; screenshot: $run/screenshot.png"
xdotool windowfocus --sync "$window" key Escape || true
