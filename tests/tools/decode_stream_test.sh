#!/usr/bin/env bash
# tivaro-decode on streams far larger than memory should have to hold: it decodes as the bytes
# arrive, so its peak resident size stays a few MB whatever the input's size; passings come
# out while the input is still open; and patterns of frame bytes that would make a naive
# framer quadratic (start bytes without end bytes, in one huge arrival) pass in linear time.
#   decode_stream_test.sh TIVARO_DECODE SOURCE_DIR [MEBIBYTES]
set -euo pipefail
decode=$1
root=$2
mebibytes=${3:-256}
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# About 1 MiB of the sample race, repeated.
capture="$root/examples/race-capture.bin"
for _ in $(seq $((1048576 / $(stat -c %s "$capture") + 1))); do cat "$capture"; done > "$work/chunk.bin"
per_chunk=$("$decode" "$work/chunk.bin" | wc -l)

/usr/bin/time -f %M -o "$work/peak" "$decode" - < <(
    for _ in $(seq "$mebibytes"); do cat "$work/chunk.bin"; done) > "$work/out.txt"
lines=$(wc -l < "$work/out.txt")
peak_kib=$(cat "$work/peak")
echo "decoded ${mebibytes} MiB from a pipe: $lines passings, peak resident size ${peak_kib} KiB"
[ "$lines" -eq $((per_chunk * mebibytes)) ] || fail "expected $((per_chunk * mebibytes)) passings"
[ "$peak_kib" -lt 16384 ] || fail "peak resident size ${peak_kib} KiB is not bounded"

# 64 MiB of start bytes without an end byte, then a record: framed in one pass.
{ head -c $((64 * 1048576)) /dev/zero | tr '\0' '\216'; cat "$capture"; } > "$work/starts.bin"
/usr/bin/time -f %M -o "$work/peak" "$decode" "$work/starts.bin" > "$work/starts.txt"
[ "$(wc -l < "$work/starts.txt")" -eq "$("$decode" "$capture" | wc -l)" ] ||
    fail "the records after the start bytes were lost"
echo "64 MiB of start bytes: peak resident size $(cat "$work/peak") KiB"

# A passing is printed as soon as its record is complete, with the input still open.
mkfifo "$work/pipe"
"$decode" - < "$work/pipe" > "$work/live.txt" &
exec 3> "$work/pipe"
head -c 2000 "$capture" >&3
for _ in $(seq 50); do
    [ -s "$work/live.txt" ] && break
    sleep 0.1
done
[ -s "$work/live.txt" ] || fail "no passing printed while the input stayed open"
exec 3>&-
wait
echo "ok"
