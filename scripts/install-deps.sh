#!/usr/bin/env bash
# Installs the Debian packages the tool needs to build, test and run, for Linux and for the
# Windows flavour (mingw-w64 to build it, Wine to test it), when any is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkgconf
  libexpat1-dev qt6-base-dev libgtest-dev libgmock-dev libxml2-dev
  clang-format clang libclang-rt-14-dev
  xvfb xauth x11-utils xdotool imagemagick fonts-dejavu-core dbus at-spi2-core
  desktop-file-utils dpkg-dev file python3 python3-jsonschema
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 fonts-wine wixl lintian
  osslsigncode openssl zip faketime msitools
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null; then
  sudo=(sudo)
else
  echo "Missing packages and no root: apt-get install ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
