#!/usr/bin/env bash
# Builds every target with AddressSanitizer and UBSan and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev -j "$(nproc)"

# Formatting is part of the build's contract.
git ls-files -- '*.cpp' '*.h' | xargs -r clang-format --dry-run --Werror
