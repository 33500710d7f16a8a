#!/usr/bin/env bash
# Builds the shipped artefacts of the same commit twice, in two build folders of different
# names and depths, and checks that they are the same bytes: the Windows executables, the MSI
# and the zip, and the Linux executables and Debian package. Names any that differs and where.
# SOURCE_DATE_EPOCH is the commit's time unless given.
#   check-reproducible.sh [windows|linux]...    (both when none is named)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
export SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}"
flavours=("$@")
[ ${#flavours[@]} -gt 0 ] || flavours=(windows linux)
first="build/reproducible"
second="build/again/reproducible-elsewhere"
start=$(date +%s)

build() { # preset, folder
  cmake --preset "$1" -B "$2" -DBUILD_TESTING=OFF -DCORVELAN_BENCH=OFF >/dev/null
  cmake --build "$2" >"$2.log" 2>&1 || { cat "$2.log" >&2; exit 1; }
}

failures=0
compare() { # artefact (relative to a build folder)
  if cmp -s "$first/$1" "$second/$1"; then
    echo "same $1 ($(stat -c %s "$first/$1") bytes)"
    return
  fi
  failures=$((failures + 1))
  echo "DIFFERS $1: $(cmp "$first/$1" "$second/$1" | head -1)" >&2
  cmp -l "$first/$1" "$second/$1" | head -5 >&2 || true
}

for flavour in "${flavours[@]}"; do
  rm -rf "$first" "$second"
  mkdir -p "$(dirname "$second")"
  case "$flavour" in
  windows)
    scripts/windows-sysroot.sh >/dev/null
    build windows "$first"
    build windows "$second"
    for artefact in corvelan-dtm-update-tool.exe corvelan-dtm-cli.exe \
      corvelan-dtm-update-tool.cdx.json \
      "$(cd "$first" && ls corvelan-dtm-update-tool-*-x64.msi)" \
      "$(cd "$first" && ls corvelan-dtm-update-tool-*-x64.zip)"; do
      compare "$artefact"
    done
    ;;
  linux)
    for folder in "$first" "$second"; do
      build release "$folder"
      (cd "$folder" && cpack -G DEB >/dev/null)
    done
    for artefact in corvelan-dtm-update-tool corvelan-dtm-cli \
      "$(cd "$first" && ls ./*.deb)"; do
      compare "$artefact"
    done
    ;;
  *)
    echo "no such flavour: $flavour" >&2
    exit 64
    ;;
  esac
done
rm -rf "$first" "$second" "$first.log" "$second.log" build/again
echo "built twice in $(($(date +%s) - start)) s: ${failures} artefact(s) differ"
[ "$failures" -eq 0 ]
