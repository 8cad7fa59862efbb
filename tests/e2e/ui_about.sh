#!/usr/bin/env bash
# The About window on a real display: the About button opens it centred with
# its exact title and size, the main window is disabled meanwhile, the link
# underlines under the pointer and a click hands its target to the shell, the
# picture is unscaled and clipped, and Esc closes the About window alone.
source "$(dirname "$0")/ui_lib.sh"

link_target='https://korvane.example/vt/latest'
# The shell's handler for https records its argument instead of starting a browser.
"$WINE" reg add 'HKCR\https\shell\open\command' /ve /f \
  /d 'C:\windows\system32\cmd.exe /c echo %1>>C:\link.txt' >/dev/null
record=$WINEPREFIX/drive_c/link.txt
rm -f "$record"

start_host
main=$(wait_window '^KorvaneVT/' 60) || fail "the main window did not appear"
window_geometry "$main"
main_client_x=$CLIENT_X main_client_y=$CLIENT_Y

# The About button: (8, 517), 448 x 40.
xdotool mousemove --sync $(( main_client_x + 232 )) $(( main_client_y + 537 )) click 1
about=$(wait_window "^$ABOUT_TITLE\$" 15) || fail "the About button did not open the About window"
sleep 1
window_geometry "$about"
check "About title" "$(xdotool getwindowname "$about")" "$ABOUT_TITLE"
check "About outer size" "${WIN_W}x${WIN_H}" "733x423"
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
check "About position (centred)" "$WIN_X,$WIN_Y" "$(( (screen_w - 733) / 2 )),$(( (screen_h - 423) / 2 ))"
ppm=$(shot about)

# --- the picture at (7, 101): the PNG's top-left 712 x 272, pixel for pixel ---
convert "$KORVANE_SOURCE/host/ui/assets/about.png" -background white -flatten \
  "$KORVANE_WORKDIR/about_picture.ppm"
check "picture pixels that differ from the PNG's top-left 712 x 272" \
  "$(pixels differing "$ppm" $(( CLIENT_X + 7 )) $(( CLIENT_Y + 101 )) \
                      "$KORVANE_WORKDIR/about_picture.ppm" 0 0 712 272)" 0
face=$(pixels pixel "$ppm" $(( CLIENT_X + 2 )) $(( CLIENT_Y + 390 )))
check "below the picture box (the image's row 272 is cut off)" \
  "$(pixels count "$ppm" $(( CLIENT_X + 7 )) $(( CLIENT_Y + 373 )) 712 3 "$face")" $(( 712 * 3 ))
check "right of the picture box (the image's last 2 columns are cut off)" \
  "$(pixels count "$ppm" $(( CLIENT_X + 719 )) $(( CLIENT_Y + 101 )) 2 272 "$face")" $(( 2 * 272 ))

# --- the link in the box at (8, 67), 272 x 29 ---
link_x=$(( CLIENT_X + 8 )) link_y=$(( CLIENT_Y + 67 ))
underline() { pixels longest-blue-run "$1" "$link_x" "$link_y" 272 29; }
plain=$(underline "$ppm")
[ "$plain" -lt 40 ] || fail "the link is underlined before the pointer is over it ($plain px run)"
echo "ok: no underline away from the pointer (longest blue run $plain px)"
xdotool mousemove --sync $(( link_x + 30 )) $(( link_y + 10 ))
sleep 0.5
hover=$(underline "$(shot about_hover)")
check_ge "underline under the pointer (longest blue run)" "$hover" 120
xdotool mousemove --sync $(( CLIENT_X + 300 )) $(( CLIENT_Y + 200 ))
sleep 0.5
away=$(underline "$(shot about_away)")
[ "$away" -lt 40 ] || fail "the underline stayed after the pointer left ($away px run)"
echo "ok: underline gone when the pointer left (longest blue run $away px)"

# Beside the link inside the box, on the text and on the picture: nothing.
for point in "$(( link_x + 265 )) $(( link_y + 14 ))" "$(( CLIENT_X + 100 )) $(( CLIENT_Y + 20 ))" \
             "$(( CLIENT_X + 300 )) $(( CLIENT_Y + 200 ))"; do
  xdotool mousemove --sync $point click 1
done
xdotool mousemove --sync $(( link_x + 30 )) $(( link_y + 10 )) click 1
deadline=$(( $(now_ms) + 20000 ))
until [ -s "$record" ]; do
  [ "$(now_ms)" -lt "$deadline" ] || fail "a click on the link reached no shell handler"
  sleep 0.2
done
sleep 2  # any other click would have been recorded by now
check "what the shell was given" "$(tr -d '\r' < "$record" | sed 's/ *$//')" "$link_target"

# --- modality: clicks on the main window have no effect while About is open ---
# Its About button would open a second About window; its close box (drawn by
# Wine at the caption's right end) would end the program.
xdotool mousemove --sync $(( main_client_x + 232 )) $(( main_client_y + 537 )) click 1
window_geometry "$main"
xdotool mousemove --sync $(( WIN_X + WIN_W - 13 )) $(( WIN_Y + 11 )) click 1
sleep 2
check "About windows after clicking the disabled main window's button" \
  "$(visible_windows "^$ABOUT_TITLE\$")" 1
mapped "$main" || fail "the close box of the disabled main window closed it"
echo "ok: the main window ignores clicks while the About window is open"

# --- Esc closes the About window only ---
press "$about" Escape
wait_unmapped "$about" 10 || fail "Esc did not close the About window"
mapped "$main" || fail "Esc in the About window closed the main window too"
kill -0 "$host_pid" || fail "the host ended with the About window"
echo "ok: Esc closed the About window alone"
# The main window is usable again: its About button opens a new About window.
xdotool mousemove --sync $(( main_client_x + 232 )) $(( main_client_y + 537 )) click 1
again=$(wait_window "^$ABOUT_TITLE\$" 15) || fail "the main window stayed disabled"
shot about_again >/dev/null
press "$again" Escape
wait_unmapped "$again" 10 || fail "Esc did not close the second About window"
press "$main" Escape
wait_unmapped "$main" 10 || fail "Esc did not close the main window"
wait_exit "$host_pid" 15
check "host exit code" "$EXIT_CODE" 0
echo "screenshots: $KORVANE_WORKDIR/about.png about_hover.png about_away.png"
