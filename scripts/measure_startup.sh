#!/usr/bin/env bash
# Measures, under Wine and Xvfb, the time from starting the x86_64 host to its
# main window being mapped. The window is shown right after the created event
# has deployed the driver, evaluated and filled in the verdicts, so this is
# also the time to the end of evaluation. Run 1 registers and loads the driver
# on a fresh prefix; later runs stop the loaded driver and start it again.
#   scripts/measure_startup.sh [RUNS]   (after scripts/build.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
source "$top/tests/wine/env.sh"
runs=${1:-5}
work=$top/build/measure
rm -rf "$work"
mkdir -p "$work"
"$top/tests/wine/make_prefix.sh" "$work/template" >/dev/null

"$top/tests/wine/run_in_prefix.sh" "$work/template" "$work/run" --display -- bash -c '
  set -euo pipefail
  "$WINE" reg add "HKLM\\SOFTWARE\\Quorvel" /reg:64 /f >/dev/null
  mkdir -p "$WINEPREFIX/drive_c/KorvaneVT"
  cp "'"$top"'/build/dist/KorvaneVT-x64.exe" "$WINEPREFIX/drive_c/KorvaneVT/"
  # Keep one Wine process alive so that the wineserver, and the loaded
  # driver, survive between the runs.
  "$WINE" cmd /c "ping -n 600 127.0.0.1 >nul" & keeper=$!
  sleep 2
  for i in $(seq '"$runs"'); do
    start=$(date +%s%N)
    "$WINE" "C:\\KorvaneVT\\KorvaneVT-x64.exe" & host=$!
    until xdotool search --onlyvisible --name KorvaneVT >/dev/null 2>&1; do sleep 0.01; done
    end=$(date +%s%N)
    echo "run $i: process start to window mapped: $(( (end - start) / 1000000 )) ms"
    xdotool search --onlyvisible --name KorvaneVT | head -n1 | xargs -I{} xdotool windowfocus --sync {} key Escape
    wait $host || true
  done
  kill $keeper 2>/dev/null || true
'
