#!/usr/bin/env bash
# What one pass of Klarvenor reaches, per filesystem: on a fresh image of each filesystem this
# machine can make and mount, 200 marker files (67 of 100 bytes, 67 of 5,000 bytes, 66 of 1 MiB)
# are written, flushed and deleted; one single-sweep pass of the engine clears the free space;
# then the raw image is searched for the markers. Prints one row per filesystem and layout (the
# deleted files in the volume's top folder, or in ten folders each deleted whole): the deleted
# files whose marker can still be read, and the job's final message.
#
# The images are made as the tests make theirs (tests/volumes, through klar-volume).
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
volume_bin="$build_dir/tests/volumes/klar-volume"
bash scripts/deps.sh
cmake --preset release -B "$build_dir" -DKLAR_BUILD_UI=OFF -DKLAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target engine_bench klar-volume >/dev/null

work="$(mktemp -d /tmp/klar-efficacy-XXXXXX)"
volume="$work/volume"
mnt="$volume/mnt"
image="$volume/volume.img"
mkdir "$volume"
# Nothing of the folder goes while a volume may still be mounted in it.
cleanup() { "$volume_bin" remove "$volume" && rm -rf "$work"; }
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

plant() { # volume layout: writes the markers, flushed, then deletes them
    python3 - "$1" "$2" <<'EOF'
import os, shutil, sys
volume, layout = sys.argv[1], sys.argv[2]
# "root": in the volume's top folder, deleted one by one; "folders": spread over ten folders,
# each deleted whole, as a user's deleted files usually are.
folders = [volume] if layout == "root" else [os.path.join(volume, f"d{k}") for k in range(10)]
for folder in folders:
    os.makedirs(folder, exist_ok=True)
k = 0
for size, count in ((100, 67), (5000, 67), (1 << 20, 66)):
    for i in range(count):
        marker = f"<klarvenor-efficacy-{size}-{i:03d}>"
        path = os.path.join(folders[k % len(folders)], f"m{size}-{i:03d}.dat")
        k += 1
        with open(path, "w") as f:
            f.write((marker * (size // len(marker) + 1))[:size])
            f.flush()
            os.fsync(f.fileno())
os.sync()
if layout == "root":
    for name in os.listdir(volume):
        if name.startswith("m") and name.endswith(".dat"):
            os.unlink(os.path.join(volume, name))
else:
    for folder in folders:
        shutil.rmtree(folder)
os.sync()
EOF
}

count_markers() { # image -> the number of distinct markers in it
    # Cut at NUL bytes first: grep holds a whole line, and a zero-filled image is one line.
    { tr '\0' '\n' <"$1" | grep -aoE '<klarvenor-efficacy-[0-9]+-[0-9]{3}>' || true; } |
        sort -u | wc -l
}

printf '%-6s %-8s %-10s %s\n' "fs" "layout" "left/200" "message"
for fs in ext2 ext4 xfs btrfs ntfs vfat; do
    for layout in root folders; do
        if ! "$volume_bin" make "$fs" "${size_mib}M" "$volume" >/dev/null 2>"$work/why"; then
            printf '%-6s %-8s %-10s %s\n' "$fs" "$layout" "-" "(this machine cannot make or mount it)"
            cat "$work/why" >&2
            continue
        fi
        plant "$mnt" "$layout"
        before="$(count_markers "$image")"
        message="$("$bench_bin" --message "$mnt" 2>&1 | tail -n 1)"
        "$volume_bin" unmount "$volume" # waits until the image holds everything
        left="$(count_markers "$image")"
        "$volume_bin" remove "$volume"
        if [ "$before" -ne 200 ]; then
            left="$left (scan saw $before before)"
        fi
        printf '%-6s %-8s %-10s %s\n' "$fs" "$layout" "$left" "${message//$mnt/X}"
    done
done
