#!/usr/bin/env bash
# The package stage: builds the release programs, makes the Debian package with CPack, checks it
# with lintian, installs it with dpkg, runs the installed klarvenor-cli (its version and a job on
# a small tmpfs), validates the installed desktop entry, polkit action and AppStream data, and
# removes the package again. Run as root (it installs and mounts); scripts/test.sh runs it.
# Whatever it installs or mounts is taken down on every exit.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -ne 0 ]; then
    echo "package-test.sh: installing the package needs root" >&2
    [ "${KLAR_REQUIRE_VOLUMES:-0}" = 1 ] && exit 1
    echo "package-test.sh: skipped" >&2
    exit 0
fi

bash scripts/deps.sh
build_dir=build/package
version="$(sed -n 's/^project(Klarvenor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

work="$(mktemp -d /tmp/klar-package.XXXXXX)"
installed=
cleanup() {
    local status=$?
    if [ -n "$installed" ]; then
        dpkg -r klarvenor >/dev/null 2>&1 || true
    fi
    umount "$work/mnt" 2>/dev/null || umount -l "$work/mnt" 2>/dev/null || true
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

echo "== package: release build and .deb"
cmake --preset release -B "$build_dir" -DKLAR_BUILD_TESTS=OFF -DKLAR_BUILD_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j2
rm -f "$build_dir"/klarvenor_*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb="$(ls "$build_dir"/klarvenor_"$version"_*.deb)"
dpkg-deb --info "$deb" | sed -n 's/^ \(Depends\|Version\|Installed-Size\):/  \1:/p'

echo "== package: lintian"
lintian --fail-on error "$deb"

echo "== package: install"
if dpkg -s klarvenor >/dev/null 2>&1; then
    echo "package-test.sh: klarvenor is installed already; remove it first" >&2
    exit 1
fi
installed=1
dpkg -i "$deb"
test "$(command -v klarvenor-cli)" = /usr/bin/klarvenor-cli
test -x /usr/bin/klarvenor
got="$(/usr/bin/klarvenor-cli --version)"
if [ "$got" != "$version" ]; then
    echo "klarvenor-cli --version printed '$got', not '$version'" >&2
    exit 1
fi
echo "klarvenor-cli --version: $got"

mkdir "$work/mnt"
mount -t tmpfs -o size=4m tmpfs "$work/mnt"
echo "my own file" >"$work/mnt/keep.txt"
/usr/bin/klarvenor-cli --method single "$work/mnt" >"$work/job.out"
last="$(tail -n 1 "$work/job.out")"
if [ "$last" != "Disk ($work/mnt) cleared." ] || [ "$(ls "$work/mnt")" != keep.txt ] ||
    [ "$(cat "$work/mnt/keep.txt")" != "my own file" ]; then
    cat "$work/job.out" >&2
    ls -l "$work/mnt" >&2
    echo "the installed klarvenor-cli did not clear the tmpfs as it should" >&2
    exit 1
fi
echo "installed klarvenor-cli: $last"

echo "== package: installed desktop entry, AppStream data, icons and man pages"
desktop-file-validate /usr/share/applications/klarvenor.desktop
grep -qx "Exec=pkexec /usr/bin/klarvenor" /usr/share/applications/klarvenor.desktop
policy=/usr/share/polkit-1/actions/example.klarvenor.Klarvenor.policy
xmllint --noout --dtdvalid /usr/share/polkit-1/policyconfig-1.dtd "$policy"
grep -q '"org.freedesktop.policykit.exec.path">/usr/bin/klarvenor<' "$policy"
if pkaction >/dev/null 2>&1; then # only where polkitd runs
    pkaction --action-id example.klarvenor.Klarvenor.clear-as-administrator --verbose |
        grep -q "org.freedesktop.policykit.exec.path -> /usr/bin/klarvenor"
fi
appstreamcli validate --no-net /usr/share/metainfo/example.klarvenor.Klarvenor.metainfo.xml
for size in 16 32 48 256; do
    identify -format "%wx%h\n" "/usr/share/icons/hicolor/${size}x${size}/apps/klarvenor.png" |
        grep -qx "${size}x${size}"
done
for page in klarvenor klarvenor-cli; do
    MANWIDTH=80 man --warnings "$page" >/dev/null
done

echo "== package: remove"
dpkg -r klarvenor
installed=
if [ -e /usr/bin/klarvenor-cli ] || [ -e /usr/share/applications/klarvenor.desktop ] ||
    [ -e "$policy" ]; then
    echo "dpkg -r left the package's files behind" >&2
    exit 1
fi
echo "package stage passed"
