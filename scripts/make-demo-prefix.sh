#!/usr/bin/env bash
# Makes a Wine prefix at $1 whose drive c: holds the demo repository of examples/, unless it
# already holds one (so what the demo installed stays until the prefix is deleted).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
prefix="$1"
repository="$prefix/drive_c/ProgramData/Schneider Electric/PTK Generic DTM/DDXMLRepository"
[ -f "$repository/DDXMLRepository.xml" ] && exit 0
mkdir -p "$repository"
cp -R "$root/examples/repository/." "$repository/"
