#!/bin/sh
# Runs a Windows program under Wine: wine.sh PROGRAM.exe [ARGUMENTS...].
#
# Every program shares one Wine prefix, made on the first start (about 10 s),
# and one wineserver that stays up for a minute after the last program ends,
# so that each test starts in about 0.1 s instead of 2.6 s. The server and
# the session's own processes (services.exe and the like, which live as long
# as the server) are started here with their output sent to /dev/null: had a
# program started them, they would hold its output pipe open and keep CTest
# waiting for it.
#
# Environment: WINEPREFIX (default: ~/.cache/ephemeris-wine-prefix), WINE (the
# 64-bit loader, default /usr/lib/wine/wine64, which Debian does not put on
# the PATH), WINESERVER (default /usr/lib/wine/wineserver64).
set -eu

: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/ephemeris-wine-prefix}"
: "${WINE:=/usr/lib/wine/wine64}"
: "${WINESERVER:=/usr/lib/wine/wineserver64}"
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

mkdir -p "$WINEPREFIX"
# One starter at a time; --close keeps the lock from the server, which would
# otherwise hold it for as long as it runs. The server ends with status 0
# once it has gone into the background, and with 2 if one runs for this
# prefix already.
flock --close "$WINEPREFIX/.ephemeris-start.lock" sh -c '
  started=no
  "$2" --persistent=60 && started=yes
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    "$1" wineboot --init
  elif [ "$started" = yes ]; then
    "$1" wineboot
  fi
  true' sh "$WINE" "$WINESERVER" </dev/null >/dev/null 2>&1
exec "$WINE" "$@"
