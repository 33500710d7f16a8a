#!/usr/bin/env bash
# Builds the Windows installer with wixl so that the same commit gives the same bytes: the files
# it packs staged with the commit's time, its package code fixed for the version, and wixl's own
# clock stopped at the commit's time (it writes the time into the installer). Then signs it when
# a certificate is given (scripts/sign-windows.sh).
#   build-msi.sh <wxs> <msi> <staging folder> <version> <product code> <package code> <time>
#                <file>...
# <time> is seconds since 1970 (SOURCE_DATE_EPOCH); the files are those the wxs names.
set -euo pipefail
wxs="$1" msi="$2" staging="$3" version="$4" product="$5" package="$6" time="$7"
shift 7
root="$(cd "$(dirname "$0")/.." && pwd)"
rm -rf "$staging" "$msi"
mkdir -p "$staging"
cp "$@" "$staging/"
touch -d "@$time" "$staging"/*
clock="$(date -u -d "@$time" '+%Y-%m-%d %H:%M:%S')"
export TZ=UTC
(cd "$staging" && faketime -f "@$clock" wixl -a x64 -D "Version=$version" \
  -D "ProductCode={$product}" -o "$msi" "$wxs")
# The history folders' permissions: a table wixl does not write.
faketime -f "@$clock" msibuild "$msi" -i "$(dirname "$wxs")/MsiLockPermissionsEx.idt"
# wixl draws a new package code each time: the version's own instead.
faketime -f "@$clock" msibuild "$msi" -s "Corvelan DTM Update Tool $version" "Corvelan" \
  "x64;1033" "{$package}"
"$root/scripts/sign-windows.sh" "$msi"
