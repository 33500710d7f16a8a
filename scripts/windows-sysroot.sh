#!/usr/bin/env bash
# Builds the static libraries the Windows flavour links against, for x86_64-w64-mingw32, into
# build/windows-sysroot: expat, and libxml2 for the benchmarks' DOM peer, from Debian's bookworm
# source packages (each file checked against the package's .dsc), and GoogleTest from
# /usr/src/googletest. Nothing is vendored. A finished sysroot is kept; delete
# build/windows-sysroot to build it again.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sysroot="$root/build/windows-sysroot"
marker="$sysroot/.complete-expat-libxml2-googletest-record"
[ -f "$marker" ] && exit 0
work="$root/build/windows-deps"
toolchain="$root/cmake/mingw-w64.cmake"
rm -rf "$work" "$sysroot"
mkdir -p "$work/sources" "$work/lists/partial" "$work/cache/archives/partial"

# Debian's source index for bookworm, private to this script: the machine's own apt setup is
# neither read nor changed.
cat >"$work/sources/bookworm-src.sources" <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
apt_options=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$work/sources"
             -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache" -o Debug::NoLocking=1)
[ "$(id -u)" -eq 0 ] && apt_options+=(-o APT::Sandbox::User=root)
apt-get "${apt_options[@]}" -qq update
# Fetches the source package $1 and unpacks it into $work/$1-source, after checking every file
# its .dsc names against the checksum it gives.
source_package() {
  (cd "$work" && apt-get "${apt_options[@]}" -qq source --download-only "$1/bookworm")
  local dsc
  dsc="$(ls "$work/$1"_*.dsc)"
  awk '/^Checksums-Sha256:/ {on = 1; next} /^[^ ]/ {on = 0} on && NF == 3 {print $1 "  " $3}' \
    "$dsc" >"$work/SHA256SUMS"
  [ -s "$work/SHA256SUMS" ] || { echo "no checksums in $dsc" >&2; exit 1; }
  (cd "$work" && sha256sum --quiet --check SHA256SUMS)
  (cd "$work" && dpkg-source --no-check -x "$(basename "$dsc")" "$1-source" >/dev/null)
}
source_package expat
source_package libxml2

# Debian's CVE-2024-8176 patch tests "#if XML_DTD == 1"; expat 2.5.0's CMake template defines
# XML_DTD without a value, which would silently turn DTD support off.
config="$(find "$work/expat-source" -name expat_config.h.cmake | head -1)"
sed -i 's/^#cmakedefine XML_DTD$/#cmakedefine XML_DTD 1/' "$config"
grep -q '^#cmakedefine XML_DTD 1$' "$config"

jobs="$(nproc)"
cmake -S "$(dirname "$config")" -B "$work/expat-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$sysroot" \
  -DEXPAT_SHARED_LIBS=OFF -DEXPAT_BUILD_TOOLS=OFF -DEXPAT_BUILD_EXAMPLES=OFF \
  -DEXPAT_BUILD_TESTS=OFF -DEXPAT_BUILD_DOCS=OFF -DEXPAT_BUILD_PKGCONFIG=OFF >/dev/null
cmake --build "$work/expat-build" -j "$jobs" >/dev/null
cmake --install "$work/expat-build" >/dev/null
# What the executables' bill of materials says of the expat linked into them (make-sbom.py): the
# source package and revision it was built from, and the patches Debian applies to it.
expat_version="$(sed -n 's/^Version: //p' "$(ls "$work"/expat_*.dsc)")"
mkdir -p "$sysroot/share/corvelan"
python3 - "$expat_version" "$work/expat-source/debian/patches/series" \
  "$sysroot/share/corvelan/expat.json" <<'RECORD'
import json, sys
version, series, out = sys.argv[1:]
patches = [line.strip() for line in open(series) if line.strip() and not line.startswith("#")]
json.dump({"archive": "lib/libexpat.a", "version": version,
           "upstream": version.split(":")[-1].rsplit("-", 1)[0],
           "purl": "pkg:deb/debian/expat@" + version.replace("+", "%2B") + "?arch=source",
           "patches": patches}, open(out, "w"), indent=2)
RECORD

# The parts of libxml2 the DOM peer uses: no network, compression, iconv or programs.
cmake -S "$work/libxml2-source" -B "$work/libxml2-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$sysroot" -DBUILD_SHARED_LIBS=OFF \
  -DLIBXML2_WITH_ICONV=OFF -DLIBXML2_WITH_LZMA=OFF -DLIBXML2_WITH_ZLIB=OFF \
  -DLIBXML2_WITH_PYTHON=OFF -DLIBXML2_WITH_PROGRAMS=OFF -DLIBXML2_WITH_TESTS=OFF \
  -DLIBXML2_WITH_HTTP=OFF -DLIBXML2_WITH_FTP=OFF -DLIBXML2_WITH_MODULES=OFF >/dev/null
cmake --build "$work/libxml2-build" -j "$jobs" >/dev/null
cmake --install "$work/libxml2-build" >/dev/null

cmake -S /usr/src/googletest -B "$work/googletest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$sysroot" -DBUILD_GMOCK=OFF \
  -Dgtest_force_shared_crt=ON >/dev/null
cmake --build "$work/googletest-build" -j "$jobs" >/dev/null
cmake --install "$work/googletest-build" >/dev/null

rm -rf "$work"
touch "$marker"
echo "Windows sysroot ready: $sysroot" >&2
