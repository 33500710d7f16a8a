#!/usr/bin/env bash
# Builds and tests both flavours. Linux: every target with AddressSanitizer and UBSan, the
# formatting and the platform boundary, the fuzz targets for a short bounded time, every test,
# and the Debian package checked by lintian. Windows: the core, the windows, the command line,
# the installer and the zip cross-built with mingw-w64, and every Windows test run under Wine as
# an unprivileged user. Last, both flavours' shipped artefacts built twice and compared.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

echo "=== Linux"
cmake --preset dev >/dev/null
cmake --build --preset dev

# Formatting and the platform boundary are part of the build's contract.
git ls-files -- '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror
scripts/check-portability.sh

# Fuzzing, when clang is here: each target from the committed seeds, in a scratch corpus.
if command -v clang++ >/dev/null; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz
  for target in catalogue description; do
    scratch="$(mktemp -d)"
    echo "Fuzzing the $target for ${FUZZ_SECONDS:-20} s"
    status=0
    "build/fuzz/fuzz/${target}_fuzz" -max_total_time="${FUZZ_SECONDS:-20}" -rss_limit_mb=2048 \
      -print_final_stats=1 "$scratch" "fuzz/corpus/$target" >"$scratch.log" 2>&1 || status=$?
    grep -E "^Done" "$scratch.log" || tail -n 40 "$scratch.log"
    rm -f "$scratch.log"
    rm -rf "$scratch"
    [ "$status" -eq 0 ] || { echo "The $target fuzz target failed" >&2; exit 1; }
  done
fi

linux=0
ctest --preset dev -j "$(nproc)" || linux=$?

echo "=== Linux package"
cmake --preset release >/dev/null
cmake --build --preset release
(cd build/release && rm -f ./*.deb && cpack -G DEB >/dev/null)
lint=0
lintian --fail-on error,warning --tag-display-limit 0 build/release/*.deb >build/lintian.log 2>&1 ||
  lint=$?
grep -v "running with root privileges" build/lintian.log || true
if [ "$lint" -eq 0 ]; then
  echo "lintian: no error and no warning on $(basename build/release/*.deb)"
else
  linux=1
fi
# Its bill of materials: valid CycloneDX 1.6, every file with its SHA-512, expat as it runs.
python3 scripts/check-sbom.py build/release/*.deb || linux=1

echo "=== Windows"
scripts/windows-sysroot.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
scripts/windows-test-prefix.sh start
trap 'scripts/windows-test-prefix.sh stop' EXIT
windows=0
ctest --preset windows -j "$(nproc)" || windows=$?
python3 scripts/check-sbom.py build/windows/*.msi build/windows/*.zip || windows=1

echo "=== Reproducible builds"
reproducible=0
scripts/check-reproducible.sh || reproducible=$?

[ "$linux" -eq 0 ] && [ "$windows" -eq 0 ] && [ "$reproducible" -eq 0 ]
