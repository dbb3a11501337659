#!/usr/bin/env bash
# What one pass of Klarvenor reaches, per filesystem: on a fresh image of each filesystem this
# machine can make and mount, 200 marker files (67 of 100 bytes, 67 of 5,000 bytes, 66 of 1 MiB)
# are written, flushed and deleted; one single-sweep pass of the engine clears the free space;
# then the raw image is searched for the markers. Prints one row per filesystem: the deleted
# files whose marker can still be read, and the job's final message.
#
# Usage (as root, since it mounts): scripts/efficacy.sh [MiB]   (image size, default 256;
# xfs images are at least 300 MiB, the least mkfs.xfs accepts)
set -euo pipefail
cd "$(dirname "$0")/.."

size_mib="${1:-256}"
if ! [[ "$size_mib" =~ ^[1-9][0-9]*$ ]] || [ "$size_mib" -lt 128 ]; then
    echo "usage: $0 [MiB]   (at least 128)" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "$0: mounting images needs root; run it with sudo" >&2
    exit 1
fi

build_dir=build/h-bench
bench_bin="$build_dir/bench/engine/engine_bench"
bash scripts/deps.sh
cmake --preset release -B "$build_dir" -DKLAR_BUILD_UI=OFF -DKLAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target engine_bench >/dev/null

work="$(mktemp -d /tmp/klar-efficacy-XXXXXX)"
mnt="$work/mnt"
image="$work/volume.img"
mkdir "$mnt"
cleanup() {
    umount -d "$mnt" 2>/dev/null || umount -l -d "$mnt" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Each prints nothing and fails when this machine cannot make or mount that filesystem.
make_fs() { # filesystem image
    case "$1" in
    ext2) mkfs.ext2 -q -F "$2" ;;
    ext4) mkfs.ext4 -q -F "$2" ;;
    xfs) mkfs.xfs -q -f "$2" ;;
    btrfs) mkfs.btrfs -q -f "$2" ;;
    vfat) mkfs.vfat "$2" ;;
    ntfs) mkfs.ntfs -q -F -f "$2" ;;
    esac >/dev/null 2>&1
}
mount_fs() { # filesystem image mountpoint
    local dev
    case "$1" in
    ntfs)
        dev="$(losetup -f --show "$2")" || return 1
        ntfs-3g "$dev" "$3" || { losetup -d "$dev"; return 1; }
        ;;
    vfat) fusefat -o rw+ "$2" "$3" ;;
    *) mount -o loop "$2" "$3" ;;
    esac >/dev/null 2>&1
}

plant() { # folder: writes the markers, flushed, then deletes them
    python3 - "$1" <<'EOF'
import os, sys
folder = sys.argv[1]
for size, count in ((100, 67), (5000, 67), (1 << 20, 66)):
    for i in range(count):
        marker = f"<klarvenor-efficacy-{size}-{i:03d}>"
        path = os.path.join(folder, f"m{size}-{i:03d}.dat")
        with open(path, "w") as f:
            f.write((marker * (size // len(marker) + 1))[:size])
            f.flush()
            os.fsync(f.fileno())
os.sync()
for name in os.listdir(folder):
    if name.startswith("m") and name.endswith(".dat"):
        os.unlink(os.path.join(folder, name))
os.sync()
EOF
}

count_markers() { # image -> the number of distinct markers in it
    { grep -aoE '<klarvenor-efficacy-[0-9]+-[0-9]{3}>' "$1" || true; } | sort -u | wc -l
}

printf '%-6s %-10s %s\n' "fs" "left/200" "message"
for fs in ext2 ext4 xfs btrfs ntfs vfat; do
    bytes=$((size_mib << 20))
    [ "$fs" = xfs ] && [ "$size_mib" -lt 300 ] && bytes=$((300 << 20))
    rm -f "$image"
    truncate -s "$bytes" "$image"
    if ! make_fs "$fs" "$image" || ! mount_fs "$fs" "$image" "$mnt"; then
        printf '%-6s %-10s %s\n' "$fs" "-" "(this machine cannot make or mount it)"
        continue
    fi
    plant "$mnt"
    before="$(count_markers "$image")"
    message="$("$bench_bin" --message "$mnt" 2>&1 | tail -n 1)"
    umount -d "$mnt"
    # A FUSE driver may still be writing the image when umount returns.
    sync
    sleep 1
    left="$(count_markers "$image")"
    if [ "$before" -ne 200 ]; then
        left="$left (scan saw $before before)"
    fi
    printf '%-6s %-10s %s\n' "$fs" "$left" "${message//$mnt/X}"
done
