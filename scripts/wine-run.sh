#!/usr/bin/env bash
# Runs a Windows program under Wine, as ctest runs every Windows test: in the test prefix under
# build/windows, silent but for the program's own output, and as the unprivileged user the
# prefix belongs to when started as root (root ignores read-only files under Wine).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/windows"
export WINEPREFIX="${CORVELAN_WINEPREFIX:-$build/wine-prefix}"
export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d" HOME="$build/wine-home"
wine=/usr/lib/wine/wine64
if [ "$(id -u)" -eq 0 ] && [ "$(stat -c %U "$WINEPREFIX")" != root ]; then
  exec runuser -u "$(stat -c %U "$WINEPREFIX")" -- env WINEPREFIX="$WINEPREFIX" \
    WINEDEBUG="$WINEDEBUG" WINEDLLOVERRIDES="$WINEDLLOVERRIDES" HOME="$HOME" \
    ${CORVELAN_TEST_ENV:-} "$wine" "$@"
fi
exec "$wine" "$@"
