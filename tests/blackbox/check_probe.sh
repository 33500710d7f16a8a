#!/usr/bin/env bash
# Black-box check of the start-up listing through the console probe, for either flavour:
#   check_probe.sh <wine prefix> <command that runs the probe...>
# With "new" as the prefix a fresh one is made and handed to the command as WINEPREFIX. The
# repository is made in the prefix's drive c: and removed again afterwards.
set -euo pipefail
prefix="$1"
shift
scratch="$(mktemp -d)"
if [ "$prefix" = new ]; then
  prefix="$scratch/prefix"
  mkdir -p "$prefix/drive_c"
  export WINEPREFIX="$prefix"
fi
vendor="$prefix/drive_c/ProgramData/Schneider Electric"
repository="$vendor/PTK Generic DTM/DDXMLRepository"
cleanup() { rm -rf "$vendor" "$scratch"; }
trap cleanup EXIT
rm -rf "$vendor"

failures=0
# Runs the probe and compares what it printed, byte for byte, with the expected lines.
expect() {
  local name="$1"
  shift
  printf '%s\n' "$@" >"$scratch/expected"
  if ! "${PROBE[@]}" >"$scratch/got"; then
    echo "FAIL $name: the probe did not exit 0" >&2
    failures=$((failures + 1))
  elif ! cmp -s "$scratch/expected" "$scratch/got"; then
    echo "FAIL $name:" >&2
    diff "$scratch/expected" "$scratch/got" >&2 || true
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}
PROBE=("$@")
# What the prefix's owner can read (Windows tests run Wine as that user).
readable() { chmod -R a+rX "$prefix/drive_c/ProgramData"; }

mkdir -p "$prefix/drive_c/ProgramData"
expect "no repository" "Folder Missing" \
  'c:\ProgramData\Schneider Electric\PTK Generic DTM\DDXMLRepository\'

mkdir -p "$repository"
readable
expect "no pictures folder" "Folder Missing" \
  'c:\ProgramData\Schneider Electric\PTK Generic DTM\DDXMLRepository\pictures\'

cp -R "$(dirname "$0")/../../examples/repository/." "$repository/"
readable
expect "the demo catalogue" \
  "Norvik FlowSense 20  Revision: 2.4.1" "QVX TSR 7700  Revision: 1.0.3" \
  "Halden PX-9 Valve  Revision: 11.0" "Ostra Level 4  Revision: 3.2 beta"

printf '%s\r\n' '<?xml version="1.0" encoding="windows-1252"?>' '<DDXMLRepository>' \
  "<File ProductID='Str$(printf '\xf6')me $(printf '\x80')' Fileversion='2'/>" '<File/>' \
  "<File Fileversion='3'/>" '</DDXMLRepository>' >"$repository/DDXMLRepository.xml"
readable
expect "windows-1252, lines as UTF-8" "Ströme €  Revision: 2" "  Revision: 3"

printf '<DDXMLRepository><File>' >"$repository/DDXMLRepository.xml"
expect "a catalogue that is not well-formed" "File Missing" \
  'c:\ProgramData\Schneider Electric\PTK Generic DTM\DDXMLRepository\DDXMLRepository.xml'

[ "$failures" -eq 0 ]
