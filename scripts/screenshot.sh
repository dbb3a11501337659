#!/usr/bin/env bash
# Draws the main window, as it first appears, on a virtual X display and saves it as
# docs/main-window.png (the picture in the README).
#
# Usage: scripts/screenshot.sh   (KLAR_BUILD_DIR chooses the build folder; default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in xvfb-run Xvfb xauth; do
    if ! command -v "$tool" >/dev/null; then
        echo "$0: $tool is missing; install xvfb and xauth (scripts/deps.sh does)" >&2
        exit 1
    fi
done

build_dir="${KLAR_BUILD_DIR:-build/release}"
cmake --preset release -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target klar_screenshot >/dev/null

mkdir -p docs
# 96 dpi: the window's twips then come out at 15 to the pixel, as designed.
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
    env QT_QPA_PLATFORM=xcb "$build_dir/tests/qt/klar_screenshot" docs/main-window.png
echo "wrote docs/main-window.png"
