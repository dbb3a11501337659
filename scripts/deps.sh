#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build clang-format-15 clang-tidy-14
    libgtest-dev libgmock-dev googletest
    e2fsprogs mount util-linux
    xfsprogs btrfs-progs dosfstools fusefat ntfs-3g
    qt6-base-dev libgl-dev fonts-liberation2 xvfb xauth
    libcli11-dev nlohmann-json3-dev python3-jsonschema desktop-file-utils appstream lintian dpkg-dev file imagemagick man-db
    libxml2-utils polkitd # xmllint and the DTD that the polkit action is checked against
)
if [ "${1:-}" = "--windows" ]; then
    packages+=(g++-mingw-w64-x86-64-posix wine64 wine fonts-wine openbox x11-utils nsis)
fi
if [ "${1:-}" = "--bench" ]; then
    packages+=(scrub) # a peer the fill benchmark measures the engine against
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
