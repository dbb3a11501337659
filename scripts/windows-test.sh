#!/usr/bin/env bash
# The Windows stage: cross-builds the program (klarvenor.exe), the engine, the Win32 backend and
# their tests with mingw-w64 (preset `windows`) and runs the tests under Wine on a private
# virtual display, in a private Wine prefix whose drive letters T: and a few more are mapped to
# small tmpfs mounts that the volume tests fill, and one more to a loop-mounted ext2 image that
# the tests scan for deleted data. Then it packs the program and installs and uninstalls it.
# Run as root (it mounts them); scripts/test.sh runs it. Everything it starts or mounts is
# taken down on every exit.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-display.sh

if [ "$(id -u)" -ne 0 ]; then
    # Like the other volume tests: skipped unless the run requires volumes.
    echo "windows-test.sh: the Windows stage mounts its test drives and needs root" >&2
    [ "${KLAR_REQUIRE_VOLUMES:-0}" = 1 ] && exit 1
    echo "windows-test.sh: skipped" >&2
    exit 0
fi

bash scripts/deps.sh --windows

# The test drives: small, because the volume tests fill them several times over, and of the
# sizes the tests ask for (each test gets the smallest free drive that holds its size; two of
# 1 MiB and one of 512 KiB let a test use two drives at once). The first is the drive T: that
# the drive-letter tests type.
drive_sizes=(8m 4m 1m 1m 512k 64k)
image_bytes=$((8 << 20))

work=$(mktemp -d /tmp/klar-wine.XXXXXX)
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no Mono or Gecko install prompts
export WINEARCH=win64
unset DISPLAY WAYLAND_DISPLAY
volumes=() # each a folder of klar-volume's: an image, if any, and its mount point
wine_started=

cleanup() {
    local status=$?
    if [ -n "$wine_started" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
    wine_display_stop
    local removed=1
    for folder in "${volumes[@]}"; do
        "$volume_bin" remove "$folder" || removed=
    done
    # Nothing of the folder goes while a drive may still be mounted in it.
    if [ -n "$removed" ]; then
        rm -rf "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "== Windows: build (mingw-w64), and klar-volume for this machine"
cmake --preset windows
cmake --build --preset windows
# The drives are made as the Linux tests make their volumes.
volume_build=build/h-bench
volume_bin="$volume_build/tests/volumes/klar-volume"
cmake --preset release -B "$volume_build" -DKLAR_BUILD_UI=OFF -DKLAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$volume_build" -j2 --target klar-volume >/dev/null

echo "== Windows: Wine prefix, display and test drives"
mkdir -p "$WINEPREFIX"
# The program's own tests show its windows.
wine_display_start "$work"
wine_started=1
# Creates the prefix, then lets its server go: drive letters mapped while a server runs stay
# out of the system's drive list until the next one starts.
wineboot --init </dev/null >/dev/null 2>&1
wineserver -w
wine_prefix_fonts
new_drive() { # filesystem size: makes it, open to every user; its mount point in $mount_point
    local folder="$work/drive-${#volumes[@]}"
    mkdir "$folder"
    volumes+=("$folder")
    mount_point=$("$volume_bin" make "$1" "$2" "$folder")
    chmod 0777 "$mount_point"
}
letters=()
for size in "${drive_sizes[@]}"; do
    new_drive tmpfs "$size"
    letters+=("$("$volume_bin" map "$WINEPREFIX" "$mount_point")")
done
# The disk image, as the Linux image tests make theirs: sparse, so unwritten blocks read as
# zeros, of the size they ask for. Wine reaches the image file itself through Z: (the root).
new_drive ext2 "$image_bytes"
image_letter=$("$volume_bin" map "$WINEPREFIX" "$mount_point")
image="${volumes[-1]}/volume.img"
# The server stays up until the end (-p), and the services it starts here do not hold ctest's
# pipes open, so every test process joins them instead of starting its own.
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

KLAR_TEST_DRIVE=$(IFS=,; echo "${letters[*]}")
KLAR_TEST_IMAGE_DRIVE=$image_letter
KLAR_TEST_IMAGE="Z:${image//\//\\}"
echo "== Windows: tests under Wine (drives $KLAR_TEST_DRIVE: tmpfs of ${drive_sizes[*]};" \
    "drive $KLAR_TEST_IMAGE_DRIVE: ext2 image $KLAR_TEST_IMAGE)"
# Every volume test runs here: none may skip (see tests/support/test_volume_win32.cpp).
export KLAR_TEST_DRIVE KLAR_TEST_IMAGE_DRIVE KLAR_TEST_IMAGE
export KLAR_REQUIRE_VOLUMES=1
ctest --preset windows </dev/null
# The program's last File > Exit left its placement where Windows users look for it.
placement=$(wine reg query 'HKCU\Software\Klarvenor\Settings' </dev/null 2>/dev/null | tr -d '\r')
for key in MainLeft MainTop MainWidth MainHeight; do
    grep -Eq "^\s+$key\s+REG_SZ\s+-?[0-9.]+$" <<<"$placement" || {
        echo "reg query: no $key in HKCU\\Software\\Klarvenor\\Settings:" >&2
        echo "$placement" >&2
        exit 1
    }
done
echo "reg query: the placement is in HKCU\Software\Klarvenor\Settings"

echo "== Windows: the program file, its packages, and the installer under Wine"
version=$(sed -n 's/^project(Klarvenor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
bash scripts/check-windows-exe.sh build/windows/src/win32/klarvenor.exe
cmake --build --preset windows --target package
# The listing read whole: `grep -q` leaving early would end tar with SIGPIPE under pipefail.
listing="$(cmake -E tar tf "build/windows/klarvenor-$version-win64.zip")"
grep -qx klarvenor.exe <<<"$listing"
setup="$WINEPREFIX/drive_c/klarvenor-setup.exe"
cp "build/windows/klarvenor-$version-setup.exe" "$setup"
installed="$WINEPREFIX/drive_c/Program Files/Klarvenor"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Klarvenor/Klarvenor.lnk"
# The tests' persistent server goes first, so that the wait for the uninstaller below ends once
# the installer's processes have.
wineserver -k </dev/null 2>/dev/null || true
wineserver -w </dev/null
wine 'C:\klarvenor-setup.exe' /S </dev/null
for expected in "$installed/klarvenor.exe" "$installed/Uninstall.exe" "$shortcut"; do
    [ -f "$expected" ] || { echo "the installer left no $expected" >&2; exit 1; }
done
cmp "$installed/klarvenor.exe" build/windows/src/win32/klarvenor.exe
# The uninstaller copies itself away and goes on from there, so its own end says nothing: the
# end of every process of the prefix is waited for (the Wine server ends after the last one),
# with a generous bound for a loaded machine.
wine 'C:\Program Files\Klarvenor\Uninstall.exe' /S </dev/null
timeout 600 wineserver -w || echo "the Wine processes did not end within 10 minutes" >&2
if [ -e "$installed" ] || [ -e "$shortcut" ]; then
    echo "the uninstaller left $installed or the Start-menu entry behind" >&2
    exit 1
fi
echo "installer: installed klarvenor.exe and its Start-menu entry, and uninstalled them"
