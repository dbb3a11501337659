#!/usr/bin/env bash
# Builds the Windows program from this checkout in one command: klarvenor.exe, the zip and
# (with Debian's nsis) the installer, all in build/windows-release/. Installs the Debian
# packages it misses, so run it as root.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --windows
cmake --preset windows-release
cmake --build --preset windows-release --target package
bash scripts/check-windows-exe.sh build/windows-release/src/win32/klarvenor.exe
ls -l build/windows-release/klarvenor-*
