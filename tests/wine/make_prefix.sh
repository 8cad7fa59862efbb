#!/usr/bin/env bash
# Creates the Wine prefix that every Windows-side test of this run copies:
# initialised once, quietly, with CJK fonts mapped and Wine drawing its own
# window frames (there is no window manager under Xvfb).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/env.sh"

template=$(realpath -m "${1:?usage: make_prefix.sh TEMPLATE_DIR}")
rm -rf "$template"
mkdir -p "$(dirname "$template")"
export WINEPREFIX=$template

"$WINE" wineboot -i >"$template.log" 2>&1 || { cat "$template.log" >&2; echo "wine harness: wineboot failed" >&2; exit 1; }
"$WINESERVER" -w

fonts=$WINEPREFIX/drive_c/windows/Fonts
cp /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
cp /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$fonts/"

# REG_MULTI_SZ "wqy-microhei.ttc" "WenQuanYi Micro Hei" as UTF-16LE hex bytes.
link=$(printf 'wqy-microhei.ttc\0WenQuanYi Micro Hei\0\0' | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' | sed 's/^,//;s/,$//')
sed "s/@LINK@/$link/" "$here/fonts.reg.in" | iconv -f UTF-8 -t UTF-16 > "$template/setup.reg"
"$WINE" regedit /S "Z:${template//\//\\}\\setup.reg" >>"$template.log" 2>&1
"$WINESERVER" -w
grep -q 'WenQuanYi Micro Hei' "$template/user.reg" || { echo "wine harness: font replacements did not reach the prefix" >&2; exit 1; }
echo "wine harness: prefix ready at $template"
