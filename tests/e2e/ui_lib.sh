# Sourced by the window tests: starting the host, finding its windows under
# Xvfb, screenshots and their pixels. Run by run_in_prefix.sh --display, which
# sets WINE, WINEPREFIX, DISPLAY and KORVANE_WORKDIR; ctest sets KORVANE_DIST.
set -euo pipefail
# A command that stops the test under set -e says which it was.
trap 'echo "FAIL: ${BASH_SOURCE[0]:-$0}:$LINENO: \"$BASH_COMMAND\" exited with $?" >&2' ERR
ui_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${KORVANE_DIST:?KORVANE_DIST must name the folder with KorvaneVT.exe}"
: "${KORVANE_WORKDIR:?}" "${DISPLAY:?these tests need the display of run_in_prefix.sh --display}"

MAIN_TITLE='KorvaneVT/虚拟化检测 -  单机详细版 V1.0'
ABOUT_TITLE='关于'
# With Decorated=N Wine draws the frame itself and the X window is the outer
# frame: 3 px borders, caption and border 22 px on top.
FRAME_SIDE=3
FRAME_TOP=22

fail() { echo "FAIL: $*" >&2; exit 1; }
check() {  # check WHAT ACTUAL EXPECTED
  [ "$2" = "$3" ] || fail "$1: got '$2', want '$3'"
  echo "ok: $1 = $2"
}
check_ge() {  # check_ge WHAT ACTUAL MINIMUM
  [ "$2" -ge "$3" ] || fail "$1: got $2, want at least $3"
  echo "ok: $1 = $2 (>= $3)"
}
pixels() { python3 "$ui_here/ui_pixels.py" "$@"; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# Copies the shipped host into the prefix and starts it in the background: host_pid, start_ms.
start_host() {
  mkdir -p "$WINEPREFIX/drive_c/KorvaneVT"
  cp "$KORVANE_DIST/KorvaneVT.exe" "$WINEPREFIX/drive_c/KorvaneVT/"
  # Windows creates the probe key on the driver's first write; Wine's kernel does not.
  "$WINE" reg add 'HKLM\SOFTWARE\Quorvel' /reg:64 /f >/dev/null
  start_ms=$(now_ms)
  "$WINE" 'C:\KorvaneVT\KorvaneVT.exe' >"$KORVANE_WORKDIR/host.log" 2>&1 &
  host_pid=$!
}

# The first visible window whose name matches REGEX, polled every 50 ms.
wait_window() {  # wait_window REGEX SECONDS
  local deadline=$(( $(now_ms) + $2 * 1000 )) id
  while [ "$(now_ms)" -lt "$deadline" ]; do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.05
  done
  return 1
}

visible_windows() {  # visible_windows REGEX -> how many
  xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l
}

mapped() { xwininfo -id "$1" 2>/dev/null | grep -q 'IsViewable'; }

# Without a window manager Wine unmaps a closed window after about 2 s: poll.
wait_unmapped() {  # wait_unmapped WINDOW SECONDS
  local deadline=$(( $(now_ms) + $2 * 1000 ))
  while mapped "$1"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Sets EXIT_CODE to the process's exit code, or to "running" when it is still
# running after SECONDS.
wait_exit() {  # wait_exit PID SECONDS
  local deadline=$(( $(now_ms) + $2 * 1000 ))
  while kill -0 "$1" 2>/dev/null; do
    [ "$(now_ms)" -lt "$deadline" ] || { EXIT_CODE=running; return 0; }
    sleep 0.1
  done
  EXIT_CODE=0
  wait "$1" || EXIT_CODE=$?
}

# Sets WIN_X WIN_Y WIN_W WIN_H and the client origin CLIENT_X CLIENT_Y on screen.
window_geometry() {
  local WINDOW X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  WIN_X=$X WIN_Y=$Y WIN_W=$WIDTH WIN_H=$HEIGHT
  CLIENT_X=$(( X + FRAME_SIDE )) CLIENT_Y=$(( Y + FRAME_TOP ))
}

# Screenshot of the whole screen as NAME.png in the work folder; prints the
# path of a PPM copy for ui_pixels.py.
shot() {
  local png=$KORVANE_WORKDIR/$1.png
  import -window root "$png"
  convert "$png" "$KORVANE_WORKDIR/$1.ppm"
  echo "$KORVANE_WORKDIR/$1.ppm"
}

# Gives a window the keyboard the way a user does, by a click on its
# background at client (2, 2), then sends it one key. The X focus alone is not
# enough: after a shell handler has run, Wine does not make the window active.
press() {  # press WINDOW KEY
  local WINDOW X Y WIDTH HEIGHT SCREEN
  eval "$(xdotool getwindowgeometry --shell "$1")"
  xdotool mousemove --sync $(( X + FRAME_SIDE + 2 )) $(( Y + FRAME_TOP + 2 )) click 1
  xdotool windowfocus --sync "$1"
  sleep 0.3
  xdotool key "$2"
}
