# Sourced: the environment every Wine run of the Windows build uses, for the prefix given as $1.
#   WINE64, WINESERVER  the 64-bit loader and its server (Debian keeps them in /usr/lib/wine)
export WINEPREFIX="$1"
export WINEARCH=win64
# A fresh prefix would otherwise offer to install Mono and Gecko; the tests need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
WINE64=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINE64 WINESERVER
