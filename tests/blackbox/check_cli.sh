#!/usr/bin/env bash
# Black-box check of corvelan-dtm-cli, for either flavour:
#   check_cli.sh <wine prefix> <command that runs the command line...>
# With "new" as the prefix a fresh one is made and handed to the command as WINEPREFIX. The
# repository is made in the prefix's drive c: and removed again afterwards. What each command
# prints and its exit code are compared byte for byte, and what it left on disk.
set -euo pipefail
prefix="$1"
shift
CLI=("$@")
examples="$(cd "$(dirname "$0")/../../examples" && pwd)"
scratch="$(mktemp -d)"
if [ "$prefix" = new ]; then
  made=1
  prefix="$scratch/prefix"
  mkdir -p "$prefix/drive_c"
  export WINEPREFIX="$prefix"
fi
vendor="$prefix/drive_c/ProgramData/Schneider Electric"
repository="$vendor/PTK Generic DTM/DDXMLRepository"
descriptions="$prefix/drive_c/cli-descriptions"
history="$prefix/drive_c/ProgramData/Corvelan"
cleanup() { rm -rf "$vendor" "$descriptions" "$history" "$scratch"; }
trap cleanup EXIT
rm -rf "$vendor" "$descriptions" "$history"
chmod a+rx "$scratch"

# The Windows flavour runs as the prefix's owner (wine-run.sh); the Linux one as root would
# ignore permissions, so there it runs as "nobody" too.
as_user=()
remedy="To change the repository, start the tool as administrator"
if [[ "${CLI[0]}" != *wine-run.sh ]]; then
  remedy="To change the repository, ask for write access to its folder in the Wine prefix"
  [ "$(id -u)" -eq 0 ] && as_user=(runuser -u nobody -- env "WINEPREFIX=$prefix")
fi
# Whoever runs the command line owns the prefix (a prefix made here is given to them) and what is
# made in it, and may read and change the repository, or only read it.
[ -n "${made:-}" ] && [ ${#as_user[@]} -gt 0 ] && chown nobody "$prefix" "$prefix/drive_c"
owner="$(stat -c %U "$prefix")"
writable() {
  chown -R "$owner" "$prefix/drive_c/ProgramData" "$descriptions" 2>/dev/null || true
  chmod -R a+rwX "$prefix/drive_c/ProgramData" "$descriptions" 2>/dev/null || true
}
readonly_repository() { chmod a-w "$repository"; }

failures=0
# expect NAME CODE STDOUT STDERR -- ARGS...: runs the command line with ARGS and compares its
# exit code, its standard output and its standard error (which must hold STDERR; be empty for "").
expect() {
  local name="$1" code="$2" stdout="$3" stderr="$4"
  shift 5
  local got=0
  "${as_user[@]}" "${CLI[@]}" "$@" >"$scratch/out" 2>"$scratch/err" || got=$?
  # Every line printed ends with LF; "$(lines ...)" dropped the last one.
  if [ -n "$stdout" ]; then printf '%s\n' "$stdout"; fi >"$scratch/expected-out"
  if [ "$got" -ne "$code" ]; then
    echo "FAIL $name: exit code $got, not $code" >&2
    cat "$scratch/err" >&2
    failures=$((failures + 1))
  elif ! cmp -s "$scratch/expected-out" "$scratch/out"; then
    echo "FAIL $name: standard output" >&2
    diff "$scratch/expected-out" "$scratch/out" >&2 || true
    failures=$((failures + 1))
  elif { [ -z "$stderr" ] && [ -s "$scratch/err" ]; } ||
    { [ -n "$stderr" ] && ! grep -qF -- "$stderr" "$scratch/err"; }; then
    echo "FAIL $name: standard error is not what it should be: $stderr" >&2
    cat "$scratch/err" >&2
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}
# Lines, each ended by LF.
lines() { printf '%s\n' "$@"; }
same() { # name, expected file, actual file
  if cmp -s "$2" "$3"; then echo "ok   $1"; else echo "FAIL $1" >&2; failures=$((failures + 1)); fi
}

save='c:\ProgramData\Schneider Electric\PTK Generic DTM\DDXMLRepository\DDXMLRepository.xml'
mkdir -p "$prefix/drive_c/ProgramData" "$descriptions"
writable
expect "list without a repository" 1 "$(lines "Folder Missing" \
  'c:\ProgramData\Schneider Electric\PTK Generic DTM\DDXMLRepository\')" "" -- list
expect "remove without a repository" 1 "" "$save is not loaded. Nothing was removed." -- remove

mkdir -p "$repository"
writable
expect "list without a pictures folder" 1 "$(lines "Folder Missing" \
  'c:\ProgramData\Schneider Electric\PTK Generic DTM\DDXMLRepository\pictures\')" "" -- list

cp -R "$examples/repository/." "$repository/"
cp "$examples/descriptions/"*.xml "$examples/descriptions/"*.XML "$descriptions/"
writable
demo=("Norvik FlowSense 20  Revision: 2.4.1" "QVX TSR 7700  Revision: 1.0.3"
  "Halden PX-9 Valve  Revision: 11.0" "Ostra Level 4  Revision: 3.2 beta")
expect "the demo catalogue" 0 "$(lines "${demo[@]}")" "" -- list
cp "$repository/DDXMLRepository.xml" "$scratch/demo.xml"

expect "another product is refused" 1 "" \
  "The Product ID of this file is FlowSense20. It should be QVXTSR7700." \
  -- install 'C:\cli-descriptions\Norvik FlowSense 20.XML'
expect "a file that is no XML is refused" 1 "" \
  'C:\cli-descriptions\truncated.xml is not a valid DTM XML file.' \
  -- install 'C:\cli-descriptions\truncated.xml'
same "a refused description changes nothing" "$scratch/demo.xml" "$repository/DDXMLRepository.xml"

expect "status, not installed" 1 "" "The QVX TSR 7700 DTM is not installed: " -- status
expect "detection, not installed: no output at all" 0 "" "" -- status --detect 2.3.0
"${as_user[@]}" "${CLI[@]}" install --dry-run 'C:\cli-descriptions\QVX TSR 7700 v2.3.0.xml' \
  >"$scratch/dry" 2>&1 || true
for said in "Would take out of $save: QVX TSR 7700  Revision: 1.0.3" \
  "Would add to $save: QVX TSR 7700  Revision: 2.3.0" \
  "Dry run: nothing was changed; install would exit with 0."; do
  grep -qF -- "$said" "$scratch/dry" ||
    { echo "FAIL the dry run did not say: $said" >&2; cat "$scratch/dry" >&2; failures=$((failures + 1)); }
done
same "a dry run changes nothing" "$scratch/demo.xml" "$repository/DDXMLRepository.xml"
expect "install, without asking" 0 "$(lines "Norvik FlowSense 20  Revision: 2.4.1" \
  "Halden PX-9 Valve  Revision: 11.0" "Ostra Level 4  Revision: 3.2 beta" \
  "QVX TSR 7700  Revision: 2.3.0")" "" -- install 'C:\cli-descriptions\QVX TSR 7700 v2.3.0.xml'
same "the description installed" "$descriptions/QVX TSR 7700 v2.3.0.xml" \
  "$repository/QVX TSR 7700.xml"
expect "status, installed" 0 "QVX TSR 7700  Revision: 2.3.0" "" -- status 2.3.0
expect "detection, installed" 0 "QVX TSR 7700  Revision: 2.3.0" "" -- status --detect 2.3.0
expect "detection, another version: no output at all" 0 "" "" -- status --detect 2.4.0
expect "remove" 0 "$(lines "Norvik FlowSense 20  Revision: 2.4.1" \
  "Halden PX-9 Valve  Revision: 11.0" "Ostra Level 4  Revision: 3.2 beta")" "" -- remove
expect "remove again: nothing needed changing" 0 "$(lines "Norvik FlowSense 20  Revision: 2.4.1" \
  "Halden PX-9 Valve  Revision: 11.0" "Ostra Level 4  Revision: 3.2 beta")" "" -- remove
# The way back: a restore undoes the remove, the next one that restore. The history lists the
# state before each, newest first; the install's is the original, the state before the first change.
rm -f "$repository/QVX TSR 7700.xml"
expect "restore undoes the remove" 0 "$(lines "Norvik FlowSense 20  Revision: 2.4.1" \
  "Halden PX-9 Valve  Revision: 11.0" "Ostra Level 4  Revision: 3.2 beta" \
  "QVX TSR 7700  Revision: 2.3.0")" "" -- restore
same "and gives the description back" "$descriptions/QVX TSR 7700 v2.3.0.xml" \
  "$repository/QVX TSR 7700.xml"
expect "restore undoes the restore" 0 "$(lines "Norvik FlowSense 20  Revision: 2.4.1" \
  "Halden PX-9 Valve  Revision: 11.0" "Ostra Level 4  Revision: 3.2 beta")" "" -- restore
[ ! -e "$repository/QVX TSR 7700.xml" ] ||
  { echo "FAIL restore left the description that was absent" >&2; failures=$((failures + 1)); }
"${as_user[@]}" "${CLI[@]}" history >"$scratch/history" 2>&1 || true
when='[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}'
if grep -qzP "^4  $when  [^\n]+  restore none\n3  $when  [^\n]+  restore 2\.3\.0\n2  $when  [^\n]+  remove 2\.3\.0\n1  $when  [^\n]+  original\n$" \
  "$scratch/history"; then
  echo "ok   the history, newest first"
else
  echo "FAIL the history" >&2
  cat "$scratch/history" >&2
  failures=$((failures + 1))
fi
expect "restore of a generation that is not there" 1 "" \
  'History\ holds no generation 9. Nothing was restored.' -- restore 9
for p in corvelan.ico corvelan.jpg QVXTSR7700.jpg QVXTSR7700Large.ico QVXTSR7700Small.ico; do
  [ -s "$repository/pictures/$p" ] || { echo "FAIL picture $p not copied" >&2; failures=$((failures + 1)); }
done

# A user who may not change the repository: the box's text, path first, and what to do.
cp "$repository/DDXMLRepository.xml" "$scratch/before.xml"
readonly_repository
expect "a repository the user may not change" 2 "" \
  "$save could not be saved: you may not change it. Nothing was installed. $remedy" \
  -- install 'C:\cli-descriptions\QVX TSR 7700 v2.3.0.xml'
same "nothing changed" "$scratch/before.xml" "$repository/DDXMLRepository.xml"
writable

# Linux, as root on the prefix of another user: listing is harmless, changes are refused, as Wine
# refuses to run there, and nothing is written.
refused_as_root() { # name, what the box says was not done, then the arguments
  local name="$1" undone="$2" got=0
  shift 2
  WINEPREFIX="$prefix" "${CLI[@]}" "$@" >"$scratch/out" 2>"$scratch/err" || got=$?
  if [ "$got" -eq 1 ] && [ ! -s "$scratch/out" ] && grep -qxF \
    "$prefix belongs to nobody. Nothing was $undone. Start the tool as nobody." "$scratch/err"; then
    echo "ok   $name"
  else
    echo "FAIL $name: exit code $got" >&2
    cat "$scratch/err" >&2
    failures=$((failures + 1))
  fi
}
if [ ${#as_user[@]} -gt 0 ]; then
  cp -p "$repository/DDXMLRepository.xml" "$scratch/before.xml"
  touch "$scratch/mark"
  refused_as_root "root's install on nobody's prefix is refused" installed \
    install 'C:\cli-descriptions\QVX TSR 7700 v2.3.0.xml'
  refused_as_root "root's remove on nobody's prefix is refused" removed remove
  same "nothing written on nobody's prefix" "$scratch/before.xml" "$repository/DDXMLRepository.xml"
  [ -z "$(find "$repository" -newer "$scratch/mark" -print -quit)" ] ||
    { echo "FAIL something was written on nobody's prefix" >&2; failures=$((failures + 1)); }
fi

expect "usage" 64 "" "corvelan-dtm-cli: unknown command 'frobnicate'" -- frobnicate
expect "install without a file" 64 "" "corvelan-dtm-cli: install needs a FILE" -- install
version="$("${CLI[@]}" --version | head -1)"
case "$version" in
"corvelan-dtm-cli ${CORVELAN_VERSION:?} (commit "*) echo "ok   --version" ;;
*) echo "FAIL --version: $version" >&2; failures=$((failures + 1)) ;;
esac

printf '%s\r\n' '<?xml version="1.0" encoding="windows-1252"?>' '<DDXMLRepository>' \
  "<File ProductID='Str$(printf '\xf6')me $(printf '\x80')' Fileversion='2'/>" '<File/>' \
  "<File Fileversion='3'/>" '</DDXMLRepository>' >"$repository/DDXMLRepository.xml"
writable
expect "windows-1252, lines as UTF-8" 0 "$(lines "Ströme €  Revision: 2" "  Revision: 3")" "" -- list

printf '<DDXMLRepository><File>' >"$repository/DDXMLRepository.xml"
expect "a catalogue that is not well-formed" 1 "$(lines "File Missing" "$save")" "" -- list

# Another kind of catalogue: an install is refused and changes nothing; a remove still takes the
# device's entries out of it.
printf '%s\r\n' '<Catalog>' '<File ProductID="QVX TSR 7700" Fileversion="1"/>' \
  '<File ProductID="B" Fileversion="2"/>' '</Catalog>' >"$repository/DDXMLRepository.xml"
writable
cp "$repository/DDXMLRepository.xml" "$scratch/other-root.xml"
expect "an install into another kind of catalogue is refused" 1 "" \
  "$save is not a DTM repository catalogue. Nothing was installed." \
  -- install 'C:\cli-descriptions\QVX TSR 7700 v2.3.0.xml'
same "the refused install changed nothing" "$scratch/other-root.xml" "$repository/DDXMLRepository.xml"
expect "a remove takes the device's entries out of it" 0 "B  Revision: 2" "" -- remove
printf '%s\r\n' '<Catalog>' '<File ProductID="B" Fileversion="2"/>' '</Catalog>' \
  >"$scratch/other-root-removed.xml"
same "only the device's entry went" "$scratch/other-root-removed.xml" "$repository/DDXMLRepository.xml"

[ "$failures" -eq 0 ]
