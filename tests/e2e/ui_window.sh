#!/usr/bin/env bash
# The host's main window on a real display: title, size, position, the three
# verdict labels' colours (as the probe values in the registry decide them),
# the badges of the detail list, and Esc ending the program. Measures the time
# from process start to the window being mapped.
source "$(dirname "$0")/ui_lib.sh"

start_host
main=$(wait_window '^KorvaneVT/' 60) || fail "the main window did not appear"
mapped_ms=$(( $(now_ms) - start_ms ))
sleep 1  # let it paint
png_ppm=$(shot main)

check "title" "$(xdotool getwindowname "$main")" "$MAIN_TITLE"
window_geometry "$main"
check "outer size" "${WIN_W}x${WIN_H}" "469x602"
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
check "position (centred)" "$WIN_X,$WIN_Y" "$(( (screen_w - 469) / 2 )),$(( (screen_h - 602) / 2 ))"

# --- what the labels and the list must show, from the values the run left ---
reg_value() {  # the integer value NAME under the probe key, 0 when absent
  local v
  v=$("$WINE" reg query 'HKLM\SOFTWARE\Quorvel' /v "$1" /reg:64 2>/dev/null \
      | awk -v n="$1" '$1 == n && $2 == "REG_DWORD" { print $3 }' | tr -d '\r')
  echo $(( ${v:-0} ))
}
on() { [ "$(reg_value "$1")" = 1 ]; }
flag() { on "$1" && echo G || echo R; }
cpu=$("$WINE" reg query 'HKLM\HARDWARE\DESCRIPTION\System\CentralProcessor\0' \
      /v ProcessorNameString 2>/dev/null | sed -n 's/.*REG_SZ[[:space:]]*//p' | tr -d '\r')
green=008000 red=ff0000 grey=ececec
if echo "$cpu" | grep -qi intel; then
  rules=Intel
  { on VMInSMX || on VMOutSideSMX; } && want1=$green || want1=$red
  on BIOSLock && want2=$green || want2=$red
  on CPU_VT && want3=$green || want3=$red
  want_badges="G$(flag BIOSLock)$(flag CPU_VT)$(flag CR0_NE)$(flag CR0_PE)$(flag CR0_PG)G$(flag VMInSMX)$(flag VMOutSideSMX)"
else
  rules=AMD
  on VM_CR && want1=$green || want1=$red
  on SVM && want2=$green || want2=$grey
  on SVM && want3=$green || want3=$red
  want_badges="GG$(flag SVM)$(flag SVM_NP)$(flag VM_CR)"
fi
# A guest's list ends with the platform row: a check when the hypervisor passes
# VT on to this system, a cross when not. (No Linux runs in the Microsoft
# hypervisor's root partition, so that row cannot show here.)
cpu_flags=$(grep -m1 '^flags' /proc/cpuinfo)
if grep -qw hypervisor <<<"$cpu_flags"; then
  grep -qwE 'vmx|svm' <<<"$cpu_flags" && want_badges+=G || want_badges+=R
fi
echo "processor '$cpu': $rules rules; badges $want_badges"

label=1
for top in 10 49 88; do
  # Right end of the label: fill only, no caption reaches there.
  check "label $label fill" "$(pixels pixel "$png_ppm" $(( CLIENT_X + 452 )) $(( CLIENT_Y + top + 3 )))" \
        "$(eval echo "\$want$label")"
  check "label $label left edge fill" "$(pixels pixel "$png_ppm" $(( CLIENT_X + 8 )) $(( CLIENT_Y + top )))" \
        "$(eval echo "\$want$label")"
  check_ge "label $label white text pixels" \
           "$(pixels count "$png_ppm" $(( CLIENT_X + 8 )) $(( CLIENT_Y + top )) 448 32 ffffff)" 60
  check "label $label dark grey querying text" \
        "$(pixels count "$png_ppm" $(( CLIENT_X + 8 )) $(( CLIENT_Y + top )) 448 32 606060)" 0
  label=$(( label + 1 ))
done

# Between the group box's frame (8, 127) and the list (15, 149) the window's
# background shows, left and right of the list.
face=$(pixels pixel "$png_ppm" $(( CLIENT_X + 2 )) $(( CLIENT_Y + 300 )))
check "group box inside, left of the list" \
      "$(pixels count "$png_ppm" $(( CLIENT_X + 12 )) $(( CLIENT_Y + 160 )) 3 300 "$face")" 900
check "group box inside, right of the list" \
      "$(pixels count "$png_ppm" $(( CLIENT_X + 447 )) $(( CLIENT_Y + 160 )) 3 300 "$face")" 900
check "group box inside, above the list" \
      "$(pixels count "$png_ppm" $(( CLIENT_X + 100 )) $(( CLIENT_Y + 142 )) 300 7 "$face")" 2100

# The list at (15, 149), 432 x 347: one badge per row at the rows' left end.
check "badges, top to bottom" \
      "$(pixels badges "$png_ppm" $(( CLIENT_X + 17 )) $(( CLIENT_Y + 151 )) 40 343)" "$want_badges"

# --- Esc closes the window and ends the program ---
press "$main" Escape
wait_unmapped "$main" 10 || fail "Esc did not close the main window"
wait_exit "$host_pid" 15
check "host process after the window closed: exit code" "$EXIT_CODE" 0

{
  echo "process start to main window mapped: ${mapped_ms} ms"
  echo "KorvaneVT.exe: $(stat -c %s "$KORVANE_DIST/KorvaneVT.exe") bytes"
} | tee "$KORVANE_WORKDIR/figures.txt"
echo "screenshot: $KORVANE_WORKDIR/main.png"
