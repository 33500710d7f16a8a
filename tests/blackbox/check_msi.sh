#!/usr/bin/env bash
# Installs the MSI under Wine, as msiexec does on Windows, and checks what it installed: exactly
# the executable, the command line, the read-me and the five pictures, byte for byte, a
# Start-menu shortcut, an entry in Programs and Features, the system log's event source and the
# history folder, locked as the tool itself makes it; that
# the installed tool starts from there and ends cleanly when its window is closed; and that
# uninstalling removes all of it. Then deployment:
# with DTMFILE a good description is installed into the repository, and a bad one fails the
# installation, which takes its files back out and leaves the catalogue as it was.
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
# Other tests make and remove temporary folders in the prefix meanwhile: a folder that goes while
# find walks it is not an answer, so find's complaint about it is not taken as one.
shortcuts() { find "$prefix/drive_c" -name "Corvelan DTM Update Tool.lnk" 2>/dev/null || true; }
shortcut() { shortcuts | grep -q .; }
noShortcut() { ! shortcuts | grep -q .; }
uninstallEntry() {
  "$run" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null |
    tr -d '\r' >"$build/msi-uninstall.txt"
  grep -q "DisplayName.*Corvelan DTM Update Tool" "$build/msi-uninstall.txt" &&
    grep -q "DisplayVersion.*${CORVELAN_VERSION:?}" "$build/msi-uninstall.txt"
}
installedFiles() {
  [ "$(cd "$folder" && ls | sort | tr '\n' ' ')" = \
    "QVXTSR7700.jpg QVXTSR7700Large.ico QVXTSR7700Small.ico README.txt corvelan-dtm-cli.exe corvelan-dtm-update-tool.cdx.json corvelan-dtm-update-tool.exe corvelan.ico corvelan.jpg " ] &&
    cmp -s "$folder/README.txt" "$build/packaging/README.txt" &&
    for f in corvelan-dtm-update-tool.exe corvelan-dtm-cli.exe corvelan-dtm-update-tool.cdx.json \
      corvelan.ico corvelan.jpg \
      QVXTSR7700.jpg QVXTSR7700Large.ico QVXTSR7700Small.ico; do
      cmp -s "$folder/$f" "$build/$f" || return 1
    done
}
startsAndEnds() {
  "$run" 'C:\Program Files\Corvelan DTM Update Tool\corvelan-dtm-update-tool.exe' & local tool=$!
  local closed=0 ended=0
  "$run" "$closer" "Corvelan DTM Update Tool - V1.1" || closed=$?
  [ "$closed" -eq 0 ] || kill "$tool" 2>/dev/null || true
  wait "$tool" || ended=$?
  [ "$closed" -eq 0 ] && [ "$ended" -eq 0 ] && return 0
  echo "the window closer exited $closed, the tool $ended" >&2
  return 1
}

# What the installer lets run as the local system account, read from its tables: the description's
# install, deferred, without impersonation, its failure failing the installation, only on an
# install or an upgrade given DTMFILE; and DTMFILE, which a standard user could otherwise hand to
# an advertised install, is no secure custom property.
table() { msiinfo export "$msi" "$1" | tr -d '\r'; }
# The action's row: its type, the installed command line, and what it is given.
actionType() { table CustomAction | awk -F'\t' '$1 == "InstallDescription" { print $2 }'; }
runsTheCommandLine() {
  table CustomAction | grep -qxF "$(printf 'InstallDescription\t%s\tCliExe\tinstall "[DTMFILE]"\t' \
    "$(actionType)")"
}
# An executable from an installed file (18), deferred (0x400), not impersonated (0x800), neither
# ignoring its exit code (0x40) nor running on alone (0x80).
runsAsTheSystemAndCounts() {
  local type
  type="$(actionType)"
  [ -n "$type" ] && [ $((type & 0x3F)) -eq 18 ] && [ $((type & 0x400)) -ne 0 ] &&
    [ $((type & 0x800)) -ne 0 ] && [ $((type & 0xC0)) -eq 0 ]
}
onlyOnInstallGivenDtmfile() {
  table InstallExecuteSequence |
    grep -qP '^InstallDescription\tDTMFILE AND NOT Installed AND NOT REMOVE\t'
}
dtmfileNotSecure() { ! table Property | grep -P '^SecureCustomProperties\t' | grep -qw DTMFILE; }
# The event source: the system's log finds the sentences of the tool's events in its executable.
eventKey='SYSTEM\CurrentControlSet\Services\EventLog\Application\Corvelan DTM Update Tool'
registryValue() { # the Registry table's value of a name under the event source's key
  table Registry | key="$eventKey" name="$1" awk -F'\t' \
    '$2 == 2 && $3 == ENVIRON["key"] && $4 == ENVIRON["name"] { print $5 "\t" $6 }'
}
registersTheEventSource() {
  [ "$(registryValue EventMessageFile)" = "$(printf '[#ToolExe]\tEventSource')" ] &&
    [ "$(registryValue TypesSupported)" = "$(printf '#7\tEventSource')" ]
}
eventSource() { "$run" reg query "HKLM\\$eventKey" 2>/dev/null | tr -d '\r'; }
eventSourceInstalled() {
  eventSource >"$build/msi-event-source.txt"
  grep -qP '^\s+EventMessageFile\s+REG_SZ\s+C:\\Program Files\\Corvelan DTM Update Tool\\corvelan-dtm-update-tool\.exe$' \
    "$build/msi-event-source.txt" &&
    grep -qP '^\s+TypesSupported\s+REG_DWORD\s+0x7$' "$build/msi-event-source.txt"
}
noEventSource() { ! eventSource | grep -q EventMessageFile; }
# The history folder and its parents, each locked as the tool makes them when it lacks them.
sddl="$(grep -oP 'L"\KD:P\([^"]*' "$root/src/platform/win32/file_system.cpp")"
historyLocked() {
  [ -n "$sddl" ] &&
    [ "$(table CreateFolder | awk -F'\t' '$1 ~ /Data$/ { print $1 }' | sort | tr '\n' ' ')" = \
      "CorvelanData HistoryData ToolData " ] &&
    [ "$(table MsiLockPermissionsEx | awk -F'\t' 'NR > 3 { print $2, $3, $4 }' | sort)" = \
      "$(printf 'CorvelanData CreateFolder %s\nHistoryData CreateFolder %s\nToolData CreateFolder %s' \
        "$sddl" "$sddl" "$sddl")" ]
}
history="$prefix/drive_c/ProgramData/Corvelan/DTM Update Tool/History"
check "the history folders are made with the tool's own permissions" historyLocked
check "the event source is registered with the tool's message table" registersTheEventSource
check "the description's install runs the command line on DTMFILE" runsTheCommandLine
check "it is deferred and not impersonated, and its failure counts" runsAsTheSystemAndCounts
check "it runs only on an install or an upgrade given DTMFILE" onlyOnInstallGivenDtmfile
check "DTMFILE is no secure custom property" dtmfileNotSecure

"$run" msiexec /x "$msi" /qn >/dev/null 2>&1 || true # a left-over install from an earlier run
check "msiexec /i exits 0" "$run" msiexec /i "$msi" /qn
check "exactly the tool, its read-me, its bill of materials and its pictures, byte for byte" \
  installedFiles
check "a Start-menu shortcut" shortcut
check "an entry in Programs and Features, version $CORVELAN_VERSION" uninstallEntry
check "the installed tool starts and ends cleanly when its window is closed" startsAndEnds
check "the event source names the installed tool" eventSourceInstalled
check "the history folder is made" test -d "$history"
check "msiexec /x exits 0" "$run" msiexec /x "$msi" /qn
check "uninstalled: no folder" test ! -e "$folder"
check "uninstalled: no empty history" test ! -e "$history"
check "uninstalled: no shortcut" noShortcut
check "uninstalled: no event source" noEventSource
check "uninstalled: no entry" bash -c "! grep -q Corvelan <('$run' reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall' /s 2>/dev/null)"
# Deployment with a description: a repository in the prefix, and a bad and a good description.
vendor="$prefix/drive_c/ProgramData/Schneider Electric"
repository="$vendor/PTK Generic DTM/DDXMLRepository"
deploy="$prefix/drive_c/deploy"
corvelanData="$prefix/drive_c/ProgramData/Corvelan"
trap 'rm -rf "$vendor" "$deploy" "$corvelanData"' EXIT
rm -rf "$vendor" "$deploy" "$corvelanData"
mkdir -p "$repository" "$deploy"
cp -R "$root/examples/repository/." "$repository/"
cp "$root/examples/descriptions/QVX TSR 7700 v2.3.0.xml" "$deploy/good.xml"
cp "$root/examples/descriptions/truncated.xml" "$deploy/bad.xml"
owner="$(stat -c %U "$prefix")"
[ "$(id -u)" -eq 0 ] && chown -R "$owner" "$prefix/drive_c/ProgramData" "$deploy"
cp "$repository/DDXMLRepository.xml" "$build/msi-catalogue-before.xml"
check "with a bad DTMFILE msiexec /i fails" bash -c "! '$run' msiexec /i '$msi' /qn 'DTMFILE=C:\deploy\bad.xml'"
check "and takes its files back out" test ! -e "$folder"
check "and leaves the catalogue as it was" cmp -s "$repository/DDXMLRepository.xml" "$build/msi-catalogue-before.xml"
check "with a good DTMFILE msiexec /i exits 0" "$run" msiexec /i "$msi" /qn 'DTMFILE=C:\deploy\good.xml'
check "the tool is installed" installedFiles
check "and the description is in the repository" cmp -s "$deploy/good.xml" "$repository/QVX TSR 7700.xml"
check "its entry in the catalogue" grep -q 'Fileversion="2.3.0" ProductName="QVXTSR7700"' "$repository/DDXMLRepository.xml"
check "its pictures" test -s "$repository/pictures/QVXTSR7700Large.ico"
# A repair and a removal given another description leave the repository as it is.
sed 's|<version>2.3.0</version>|<version>9.9.9</version>|' "$deploy/good.xml" >"$deploy/other.xml"
[ "$(id -u)" -eq 0 ] && chown "$owner" "$deploy/other.xml"
cp "$repository/DDXMLRepository.xml" "$build/msi-catalogue-installed.xml"
# A repair as msiexec /f starts one (Wine's own /f does not repair).
check "a repair given DTMFILE exits 0" "$run" msiexec /i "$msi" /qn REINSTALL=ALL \
  REINSTALLMODE=vomus 'DTMFILE=C:\deploy\other.xml'
check "and installs no description" cmp -s "$repository/DDXMLRepository.xml" "$build/msi-catalogue-installed.xml"
check "msiexec /x given DTMFILE exits 0" "$run" msiexec /x "$msi" /qn 'DTMFILE=C:\deploy\other.xml'
check "and installs no description either" cmp -s "$repository/DDXMLRepository.xml" "$build/msi-catalogue-installed.xml"
check "the removal leaves the history of the deployment's change" test -s "$history/1/manifest.txt"
[ "$failures" -eq 0 ]
