#!/usr/bin/env bash
# Runs a Windows test program under Wine for CTest: scripts/wine-run.sh WINE PROGRAM [ARGS...].
# On a loaded machine Wine now and then ends at once with a failure and no output at all, before
# the program's first line (a test program that ran always prints something). Such a start, and
# only such a start, is made again, at most three times; whatever else happens is passed on as
# it is, output and exit status.
wine="$1"
shift
out="$(mktemp)"
err="$(mktemp)"
trap 'rm -f "$out" "$err"' EXIT
for attempt in 1 2 3; do
    "$wine" "$@" >"$out" 2>"$err"
    status=$?
    if [ "$status" -eq 0 ] || [ -s "$out" ] || [ -s "$err" ]; then
        break
    fi
    echo "wine-run: Wine ended at once (status $status, no output; start $attempt of 3)" >&2
done
cat "$out"
cat "$err" >&2
exit "$status"
