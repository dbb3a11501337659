#!/usr/bin/env bash
# Fill-speed benchmark: one single-sweep job through the engine against
# `dd if=/dev/zero bs=1M conv=fsync` and `scrub -p fillzero -X`, each filling a fresh volume of
# the same kind, alternately: a tmpfs of 1 GiB and loop-mounted ext4 and xfs images of 2 GiB
# (sparse files on the real disk). Prints the median MB/s (10^6 bytes per second) of each and the
# engine/dd ratio per volume. A pass of the engine fills, flushes and deletes its filler files, so
# the ratios compare it with dd or scrub plus the delete of their files: the same work. The ratio
# against dd alone, without that delete, is printed before it for reference; the last lines give
# the engine against the faster of dd and scrub on each disk-backed volume.
# It also prints the engine's peak memory (RSS) over its 2 GiB passes, and how much of a user's
# file stays in the page cache while a 2 GiB volume is wiped in a memory cgroup of 1 GiB.
# The same fresh volumes are also cleared by `klarvenor-cli --method single` (its output going to
# a file, as in a script), timed from its start to its exit; its ratio to the engine alone shows
# what the command line costs.
#
# Usage (as root, since it mounts): scripts/bench.sh [RUNS]   (default 5 runs of each)
#
# scripts/bench.sh --stage [RUNS] measures instead what the small-file stage after the fill
# adds to a pass, on fresh ext4, NTFS (ntfs-3g) and btrfs images of 1 and 4 GiB: the median
# share of the stage in the whole job (target: at most 5 %).
# scripts/bench.sh --verify [RUNS] measures what reading the fillers back costs (the job's
# --verify), on fresh ext4 and xfs images of 512 MiB and 2 GiB: the median read-back time against
# the fill's own time (target: at most 1) and its share of the whole pass.
# KLAR_BENCH_DIR chooses the folder on the real disk that holds the ext4 images (default: the
# system's temporary folder).
set -euo pipefail
cd "$(dirname "$0")/.."

stage_only=
verify_only=
if [ "${1:-}" = --stage ]; then
    stage_only=1
    shift
elif [ "${1:-}" = --verify ]; then
    verify_only=1
    shift
fi
runs="${1:-5}"
if ! [[ "$runs" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [RUNS]" >&2
    exit 2
fi
if [ "$(id -u)" -ne 0 ]; then
    echo "$0: mounting tmpfs and loop images needs root; run it with sudo" >&2
    exit 1
fi

build_dir=build/h-bench
bench_bin="$build_dir/bench/engine/engine_bench"
cli_bin="$build_dir/src/cli/klarvenor-cli"
volume_bin="$build_dir/tests/volumes/klar-volume"
tmpfs_size=1G
image_size=2G
volumes="tmpfs ext4 xfs"
tools="engine dd scrub cli"

bash scripts/deps.sh --bench
# The engine alone is measured: no window, no tests to build.
cmake --preset release -B "$build_dir" -DKLAR_BUILD_UI=OFF -DKLAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j2 --target engine_bench klarvenor-cli klar-volume >/dev/null

work="$(mktemp -d "${KLAR_BENCH_DIR:-${TMPDIR:-/tmp}}/klar-bench-XXXXXX")"
results="$work/results"
# Each fresh volume is made in one folder as the tests make theirs (tests/volumes): its image
# there, mounted at $mnt. ext4 keeps no root reserve, which would hide bytes from the free-space
# figure, and has its inode tables and journal written by mkfs, so that no background
# initialisation competes with the run being timed.
volume_dir="$work/volume"
mnt="$volume_dir/mnt"
mkdir "$volume_dir"

fresh() { # filesystem [--direct-io]
    local size="$image_size"
    [ "$1" = tmpfs ] && size="$tmpfs_size"
    "$volume_bin" make "$1" "$size" "$volume_dir" "${@:2}" >/dev/null
    sync
}
teardown() { "$volume_bin" remove "$volume_dir"; } # safe to call twice
cleanup() {
    # Nothing of the folder goes while a volume may still be mounted in it.
    teardown && rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

now() { date +%s.%N; }
seconds_between() { awk -v s="$1" -v e="$2" 'BEGIN { printf "%.6f", e - s }'; }

# Both tools run at the same raised priority, so that builds sharing the machine disturb less.
fast() { nice -n -10 "$@"; }

# Each prints "<bytes> <seconds> <seconds after the fill>" for one fill of the mounted volume:
# for the engine, the flush and delete that end its job; for dd, deleting its file afterwards.
# The engine's line also carries its peak memory, noted apart.
run_engine() {
    local out
    out="$(fast "$bench_bin" "$mnt")"
    awk '{ sub("max_rss_kib=", "", $5); print $5 }' <<<"$out" >>"$work/rss"
    awk '{ sub("bytes=", "", $1); sub("seconds=", "", $2); sub("fill_seconds=", "", $3)
           sub("pool_zero_seconds=", "", $6); printf "%s %s %.6f %s\n", $1, $2, $2 - $3, $6 }' \
        <<<"$out"
}

run_scrub() {
    local start end bytes
    bytes="$(df -B1 --output=avail "$mnt" | tail -n 1)"
    start="$(now)"
    # scrub fills the folder with files until the volume is full, syncs and deletes them and
    # the folder itself: its delete is inside its own time.
    fast scrub -p fillzero -X "$mnt/scrub" >"$work/scrub.log" 2>&1 || true
    end="$(now)"
    # (xfs gives the space of deleted files back in the background: the folder is what counts.)
    if ! grep -q "unlinked" "$work/scrub.log" || [ -e "$mnt/scrub" ]; then
        cat "$work/scrub.log" >&2
        echo "scrub left its files behind" >&2
        return 1
    fi
    echo "$bytes $(seconds_between "$start" "$end") 0"
}

run_cli() {
    local start end bytes
    bytes="$(df -B1 --output=avail "$mnt" | tail -n 1)"
    start="$(now)"
    fast "$cli_bin" --method single "$mnt" >"$work/cli.log" 2>&1 || true
    end="$(now)"
    if ! tail -n 1 "$work/cli.log" | grep -q "cleared\.$"; then
        cat "$work/cli.log" >&2
        echo "klarvenor-cli did not clear the volume" >&2
        return 1
    fi
    echo "$bytes $(seconds_between "$start" "$end") 0"
}

run_dd() {
    local start end removed log bytes
    log="$work/dd.log"
    start="$(now)"
    # dd ends with "No space left on device"; it still syncs what it wrote before exiting.
    fast dd if=/dev/zero of="$mnt/fill" bs=1M conv=fsync 2>"$log" || true
    end="$(now)"
    fast rm "$mnt/fill"
    removed="$(now)"
    if ! grep -q "No space left on device" "$log"; then
        cat "$log" >&2
        echo "dd did not fill the volume" >&2
        return 1
    fi
    bytes="$(awk '/bytes/ && /copied/ { print $1 }' "$log")"
    echo "$bytes $(seconds_between "$start" "$end") $(seconds_between "$end" "$removed")"
}

measure() { # volume tool
    local volume="$1" tool="$2" figures
    fresh "$volume"
    figures="$("run_$tool")"
    teardown
    sync
    echo "$volume $tool $figures" >>"$results"
    awk -v v="$volume" -v t="$tool" '{ printf "  %-5s %-6s %12d bytes %8.3f s %9.1f MB/s", v, t,
        $1, $2, $1 / 1e6 / $2 }
        t == "engine" { printf "   (of which flush and delete %.3f s)", $3 }
        t == "engine" && $4 > 0 { printf "   (ext4 pool 0 for %.3f s)", $4 }
        t == "dd" { printf "   (then rm %.3f s)", $3 } { printf "\n" }' <<<"$figures"
}

# One fresh volume, one job of the engine with the given options; prints its figures.
engine_once() { # filesystem [engine options]
    fresh "$1"
    fast "$bench_bin" "${@:2}" "$mnt"
    teardown
    sync
}
# The median of numbers, one per line.
median_of() {
    sort -g | awk '{ x[NR] = $1 }
        END { print NR % 2 ? x[(NR + 1) / 2] : (x[NR / 2] + x[NR / 2 + 1]) / 2 }'
}

if [ -n "$stage_only" ]; then
    echo "small-file stage against the whole pass, $runs runs each"
    for ((i = 1; i <= runs; i++)); do
        for image_size in 1G 4G; do
            for volume in ext4 ntfs btrfs; do
                out="$(engine_once "$volume")"
                awk -v v="$volume-$image_size" '{ for (i = 1; i <= NF; i++) {
                        split($i, kv, "="); f[kv[1]] = kv[2] }
                    printf "  %-9s %8.3f s pass %8.3f s stage %6.2f %%\n", v, f["seconds"],
                        f["stage_seconds"], 100 * f["stage_seconds"] / f["seconds"] }' <<<"$out" |
                    tee -a "$results"
            done
        done
    done
    for volume in ext4-1G ntfs-1G btrfs-1G ext4-4G ntfs-4G btrfs-4G; do
        echo "$volume stage share median: $(awk -v v="$volume" '$1 == v { print $8 }' "$results" |
            median_of) %"
    done
    exit 0
fi

if [ -n "$verify_only" ]; then
    echo "read-back against the fill, $runs runs each"
    for ((i = 1; i <= runs; i++)); do
        for image_size in 512M 2G; do
            for volume in ext4 xfs; do
                out="$(engine_once "$volume" --verify)"
                awk -v v="$volume-$image_size" '{ for (i = 1; i <= NF; i++) {
                        split($i, kv, "="); f[kv[1]] = kv[2] }
                    printf "  %-9s %8.3f s pass %8.3f s fill %8.3f s read-back %6.2f %% %6.3f\n",
                        v, f["seconds"], f["fill_seconds"], f["verify_seconds"],
                        100 * f["verify_seconds"] / f["seconds"],
                        f["verify_seconds"] / f["fill_seconds"] }' <<<"$out" | tee -a "$results"
            done
        done
    done
    for volume in ext4-512M xfs-512M ext4-2G xfs-2G; do
        share="$(awk -v v="$volume" '$1 == v { print $11 }' "$results" | median_of)"
        ratio="$(awk -v v="$volume" '$1 == v { print $13 }' "$results" | median_of)"
        echo "$volume read-back median: $share % of the pass, $ratio of the fill's time"
    done
    exit 0
fi

echo "engine against dd, scrub and klarvenor-cli, $runs runs each, alternating"
read -r load _ </proc/loadavg
if awk -v l="$load" 'BEGIN { exit !(l > 1.0) }'; then
    echo "note: load average $load before starting; other work may disturb the figures"
fi
# The first fills after boot touch memory the machine has not used yet, which costs far more
# than the fill itself on a virtual machine; one untimed round of each keeps that out.
echo "warm-up (not counted)"
for volume in $volumes; do
    for tool in $tools; do
        fresh "$volume"
        "run_$tool" >/dev/null
        teardown
        sync
    done
done
for ((i = 1; i <= runs; i++)); do
    echo "run $i"
    # Who goes first alternates, so that neither always meets a quieter machine.
    case $((i % 4)) in
    1) order="engine dd scrub cli" ;;
    2) order="dd scrub cli engine" ;;
    3) order="scrub cli engine dd" ;;
    *) order="cli engine dd scrub" ;;
    esac
    : >"$work/rss" # peak memory of the timed passes only
    for volume in $volumes; do
        for tool in $order; do
            measure "$volume" "$tool"
        done
    done
done

median() { # volume tool [with-delete] -> median MB/s
    awk -v v="$1" -v t="$2" -v del="${3:-}" '$1 == v && $2 == t {
        printf "%.6f\n", $3 / 1e6 / ($4 + (del ? $5 : 0)) }' "$results" |
        sort -g | awk '{ x[NR] = $1 } END {
            if (NR % 2) { printf "%.6f", x[(NR + 1) / 2] }
            else { printf "%.6f", (x[NR / 2] + x[NR / 2 + 1]) / 2 } }'
}

# The page cache: a user's file read by the user's own programs, then a 2 GiB volume wiped in
# the same memory cgroup of 1 GiB. The loop device writes its image past the cache, so that what
# is measured is the filler's own use of the cache.
cgroup=""
make_cgroup() {
    local parent
    if grep -qw memory /sys/fs/cgroup/cgroup.controllers 2>/dev/null; then
        cgroup="/sys/fs/cgroup/klar-bench-$$"
        mkdir "$cgroup"
        echo 1G >"$cgroup/memory.max"
        [ -e "$cgroup/memory.swap.max" ] && echo 0 >"$cgroup/memory.swap.max"
    elif [ -d /sys/fs/cgroup/memory ]; then
        parent="$(awk -F: '$2 ~ /(^|,)memory(,|$)/ { print $3 }' /proc/self/cgroup)"
        cgroup="/sys/fs/cgroup/memory${parent%/}/klar-bench-$$"
        mkdir "$cgroup"
        echo 1G >"$cgroup/memory.limit_in_bytes"
    else
        echo "page cache: no memory cgroup on this system; skipped"
        return 1
    fi
}
in_cgroup() { sh -c 'echo $$ >"$0/cgroup.procs" && exec "$@"' "$cgroup" "$@"; }
drop_cgroup() { [ -n "$cgroup" ] && rmdir "$cgroup" 2>/dev/null; cgroup=""; }
trap 'drop_cgroup; cleanup' EXIT

user_file="$work/user.dat"
cached_share() { # mode: direct | buffered -> percent of the user's file still cached
    local cached
    dd if=/dev/urandom of="$user_file" bs=1M count=256 conv=fsync status=none
    dd of="$user_file" oflag=nocache conv=notrunc,fdatasync count=0 status=none
    make_cgroup || return 1
    in_cgroup cat "$user_file" >/dev/null
    fresh ext4 --direct-io
    if [ "$1" = buffered ]; then
        in_cgroup "$bench_bin" --buffered "$mnt" >/dev/null
    else
        in_cgroup "$bench_bin" "$mnt" >/dev/null
    fi
    cached="$(fincore --bytes --noheadings --output RES "$user_file")"
    teardown
    drop_cgroup
    rm -f "$user_file"
    awk -v c="$cached" 'BEGIN { printf "%.1f", c * 100 / (256 * 1048576) }'
}
echo
echo "page cache: a 256 MiB user file read, then a 2 GiB ext4 volume wiped, in a 1 GiB cgroup"
cache_direct=""
if cache_buffered="$(cached_share buffered)"; then
    echo "  user file still cached after a buffered pass (reference): $cache_buffered %"
    cache_direct="$(cached_share direct)"
fi

echo
for volume in $volumes; do
    for tool in $tools; do
        awk -v v="$volume" -v t="$tool" -v m="$(median "$volume" "$tool")" \
            'BEGIN { printf "%s %s median: %.1f MB/s\n", v, t, m }'
    done
    for tool in dd scrub; do
        awk -v v="$volume" -v t="$tool" -v m="$(median "$volume" "$tool" with-delete)" \
            'BEGIN { printf "%s %s median, its delete included (reference): %.1f MB/s\n", v, t, m }'
    done
done
for volume in $volumes; do
    awk -v v="$volume" -v e="$(median "$volume" engine)" -v d="$(median "$volume" dd)" \
        'BEGIN { printf "%s engine/dd ratio, without the delete of dd'"'"'s file (reference): %.2f\n", v, e / d }'
done
for volume in $volumes; do
    awk -v v="$volume" -v e="$(median "$volume" engine)" -v d="$(median "$volume" dd with-delete)" \
        'BEGIN { printf "%s engine/dd ratio: %.2f\n", v, e / d }'
done
for volume in $volumes; do
    awk -v v="$volume" -v c="$(median "$volume" cli)" -v e="$(median "$volume" engine)" \
        'BEGIN { printf "%s cli/engine ratio: %.2f\n", v, c / e }'
done
sort -n "$work/rss" | tail -n 1 |
    awk '{ printf "engine peak RSS over its passes (2 GiB images included): %.1f MB (target < 64 MB)\n", $1 * 1024 / 1e6 }'
if [ -n "$cache_direct" ]; then
    echo "page cache: user file still cached after the engine's pass: $cache_direct % (target >= 90 %)"
fi
for volume in ext4 xfs; do
    awk -v v="$volume" -v e="$(median "$volume" engine)" -v d="$(median "$volume" dd with-delete)" \
        -v s="$(median "$volume" scrub with-delete)" \
        'BEGIN { printf "%s engine/best-peer ratio: %.2f\n", v, e / (d > s ? d : s) }'
done
