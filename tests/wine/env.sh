# Sourced by the Wine harness: where Wine is and how it runs quietly.
# /usr/lib/wine/wine starts 64-bit and (through WoW64) 32-bit programs alike.
WINE=/usr/lib/wine/wine
WINESERVER=/usr/lib/wine/wineserver
if [ ! -x "$WINE" ] || [ ! -x "$WINESERVER" ]; then
  echo "wine harness: $WINE or $WINESERVER is missing; run scripts/setup.sh" >&2
  exit 1
fi
export WINEARCH=win64
export WINEDEBUG=-all
export LANG=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
