#!/usr/bin/env bash
# The Win32 window's share of a job's cost, under Wine: a single-sweep job through the real
# window against the engine alone, alternating, on a drive letter mapped to a fresh tmpfs.
# Ends with "win32 window/engine ratio: X.XX" (target at least 0.95).
#
# Usage (as root, since it mounts): sudo scripts/bench-windows.sh [RUNS [MIB]]   (5 runs, 512 MiB)
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-display.sh
runs=${1:-5}
mib=${2:-512}
[ "$(id -u)" -eq 0 ] || { echo "$0: mounts a tmpfs; run it as root" >&2; exit 1; }
bash scripts/deps.sh --windows

build=build/windows-bench
cmake --preset windows-release -B "$build" -DKLAR_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target win32_window_bench
# The drive is made as the tests make theirs (tests/volumes).
volume_bin=build/h-bench/tests/volumes/klar-volume
cmake --preset release -B build/h-bench -DKLAR_BUILD_UI=OFF -DKLAR_BUILD_TESTS=OFF >/dev/null
cmake --build build/h-bench -j2 --target klar-volume >/dev/null

work=$(mktemp -d /tmp/klar-wine-bench.XXXXXX)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
cleanup() {
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    wine_display_stop
    # Nothing of the folder goes while the drive may still be mounted in it.
    "$volume_bin" remove "$work/drive" && rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$WINEPREFIX" "$work/drive"
wine_display_start "$work"
wineboot --init </dev/null >/dev/null 2>&1
wineserver -w
wine_prefix_fonts
mount_point=$("$volume_bin" make tmpfs "${mib}M" "$work/drive")
chmod 0777 "$mount_point"
letter=$("$volume_bin" map "$WINEPREFIX" "$mount_point")
wine "$build/bench/win32/win32_window_bench.exe" "$letter" "$runs" </dev/null
