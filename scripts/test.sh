#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test: the format and include-layer
# checks, the debug build, clang-tidy, the engine and platform tests again under AddressSanitizer
# and UBSan, the Debian package (built, checked, installed, run and removed), and the engine with its
# Windows backend built with mingw-w64 and tested under Wine.
# Volume tests mount tmpfs and loop images, so run it as root (CI does).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
export KLAR_REQUIRE_VOLUMES="${KLAR_REQUIRE_VOLUMES:-$([ "$(id -u)" -eq 0 ] && echo 1 || echo 0)}"

echo "== format and layers"
git ls-files '*.cpp' '*.h' | xargs clang-format-15 --dry-run --Werror
bash scripts/check-layers.sh

echo "== debug build and tests"
cmake --preset dev
cmake --build --preset dev
ctest --preset dev

echo "== clang-tidy below the windows"
bash scripts/tidy.sh

echo "== AddressSanitizer and UBSan"
cmake --preset asan
cmake --build --preset asan
ctest --preset asan

bash scripts/package-test.sh
bash scripts/windows-test.sh
