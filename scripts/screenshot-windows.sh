#!/usr/bin/env bash
# Draws the Windows program's main window, as it first appears, under Wine on a private
# virtual display and saves it as docs/windows-main-window.png (the picture in the README).
#
# Usage: scripts/screenshot-windows.sh   (builds klarvenor.exe with the windows-release preset)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-display.sh

for tool in wine Xvfb openbox xdotool import; do
    if ! command -v "$tool" >/dev/null; then
        echo "$0: $tool is missing; install wine, xvfb, openbox, xdotool and imagemagick" >&2
        exit 1
    fi
done

cmake --preset windows-release >/dev/null
cmake --build --preset windows-release --target klarvenor >/dev/null

work=$(mktemp -d /tmp/klar-wine-shot.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
cleanup() {
    wineserver -k 2>/dev/null || true
    wine_display_stop
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX"
wine_display_start "$work"
wineboot --init </dev/null >/dev/null 2>&1
wineserver -w
wine_prefix_fonts

wine build/windows-release/src/win32/klarvenor.exe </dev/null >/dev/null 2>&1 &
find_window() {
    local id
    for _ in $(seq 150); do
        if id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) &&
            [ -n "$id" ]; then
            echo "$id"
            return
        fi
        sleep 0.1
    done
    echo "$0: no window \"$1\"" >&2
    return 1
}
main=$(find_window "Klarvenor - Secure Erasure Utility ")
# The donation window comes to the front 200 ms after the start; "Perhaps another time."
donate=$(find_window "Please make a donation.")
sleep 0.5
xdotool windowactivate --sync "$donate" key --clearmodifiers Escape
xdotool windowactivate --sync "$main"
sleep 0.5
mkdir -p docs
import -frame -window "$main" docs/windows-main-window.png
echo "wrote docs/windows-main-window.png"
