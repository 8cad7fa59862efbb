# Sourced by the Wine harness: where Wine is and how it runs quietly.
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
if [ ! -x "$WINE64" ]; then
  echo "wine harness: $WINE64 is missing; run scripts/setup.sh (only wine64 runs on these machines)" >&2
  exit 1
fi
export WINEARCH=win64
export WINEDEBUG=-all
export LANG=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
