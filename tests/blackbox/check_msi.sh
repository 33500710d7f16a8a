#!/usr/bin/env bash
# Installs the MSI under Wine, as msiexec does on Windows, and checks what it installed: exactly
# the executable and its five pictures, byte for byte, a Start-menu shortcut and an entry in
# Programs and Features; that the installed tool starts from there and ends cleanly when its
# window is closed; and that uninstalling removes all of it.
#   check_msi.sh <msi> <build folder> <close_window.exe>
set -euo pipefail
msi="$1"
build="$2"
closer="$3"
root="$(cd "$(dirname "$0")/../.." && pwd)"
run="$root/scripts/wine-run.sh"
prefix="${CORVELAN_WINEPREFIX:-$build/wine-prefix}"
folder="$prefix/drive_c/Program Files/Corvelan DTM Update Tool"
failures=0
check() { # name, then a command that must succeed
  local name="$1"
  shift
  if "$@"; then echo "ok   $name"; else echo "FAIL $name" >&2; failures=$((failures + 1)); fi
}
shortcut() { find "$prefix/drive_c" -name "Corvelan DTM Update Tool.lnk" | grep -q .; }
uninstallEntry() {
  "$run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' >"$build/msi-uninstall.txt"
  grep -q "DisplayName.*Corvelan DTM Update Tool" "$build/msi-uninstall.txt" &&
    grep -q "DisplayVersion.*1.1.0" "$build/msi-uninstall.txt"
}
installedFiles() {
  [ "$(cd "$folder" && ls | sort | tr '\n' ' ')" = \
    "QVXTSR7700.jpg QVXTSR7700Large.ico QVXTSR7700Small.ico corvelan-dtm-update-tool.exe corvelan.ico corvelan.jpg " ] &&
    for f in corvelan-dtm-update-tool.exe corvelan.ico corvelan.jpg QVXTSR7700.jpg \
      QVXTSR7700Large.ico QVXTSR7700Small.ico; do cmp -s "$folder/$f" "$build/$f" || return 1; done
}
startsAndEnds() {
  "$run" 'C:\Program Files\Corvelan DTM Update Tool\corvelan-dtm-update-tool.exe' & local tool=$!
  "$run" "$closer" "Corvelan DTM Update Tool - V1.1" || { kill "$tool"; return 1; }
  wait "$tool"
}

"$run" msiexec /x "$msi" /qn >/dev/null 2>&1 || true # a left-over install from an earlier run
check "msiexec /i exits 0" "$run" msiexec /i "$msi" /qn
check "exactly the tool and its pictures, byte for byte" installedFiles
check "a Start-menu shortcut" shortcut
check "an entry in Programs and Features, version 1.1.0" uninstallEntry
check "the installed tool starts and ends cleanly when its window is closed" startsAndEnds
check "msiexec /x exits 0" "$run" msiexec /x "$msi" /qn
check "uninstalled: no folder" test ! -e "$folder"
check "uninstalled: no shortcut" bash -c "! find '$prefix/drive_c' -name 'Corvelan DTM Update Tool.lnk' | grep -q ."
check "uninstalled: no entry" bash -c "! grep -q Corvelan <('$run' reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall' /s 2>/dev/null)"
[ "$failures" -eq 0 ]
