#!/usr/bin/env bash
# The group box caption "VT详情" is drawn black whatever the system says: with
# window and button text set to blue, once in the classic look and once with
# Wine's Light visual style active, which left to itself draws it blue.
source "$(dirname "$0")/ui_lib.sh"

colours='HKCU\Control Panel\Colors'
themes='HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager'
"$WINE" reg add "$colours" /v WindowText /d "0 0 255" /f >/dev/null
"$WINE" reg add "$colours" /v ButtonText /d "0 0 255" /f >/dev/null

for look in classic light; do
  if [ "$look" = light ]; then
    "$WINE" reg add "$themes" /v ThemeActive /d 1 /f >/dev/null
    "$WINE" reg add "$themes" /v DllName \
      /d 'C:\windows\resources\themes\light\light.msstyles' /f >/dev/null
    "$WINE" reg add "$themes" /v ColorName /d NormalColor /f >/dev/null
    "$WINE" reg add "$themes" /v SizeName /d NormalSize /f >/dev/null
  fi
  start_host
  main=$(wait_window '^KorvaneVT/' 60) || fail "$look: the main window did not appear"
  sleep 1  # let it paint
  png_ppm=$(shot "caption-$look")
  window_geometry "$main"
  # The caption sits on the group box's top edge at client (8, 127).
  x=$(( CLIENT_X + 12 )) y=$(( CLIENT_Y + 126 ))
  check_ge "$look: black caption pixels" "$(pixels count "$png_ppm" $x $y 80 16 000000)" 20
  check "$look: coloured caption pixels" "$(pixels coloured "$png_ppm" $x $y 80 16)" 0
  press "$main" Escape
  wait_unmapped "$main" 10 || fail "$look: Esc did not close the main window"
  wait_exit "$host_pid" 15
done
