#!/usr/bin/env bash
# tivaro-decode on the sample captures: the binary records (serial and TCP rules) and the
# older decoder's text lines of the same race give the same passings, and they are the
# expected ones; the captures are what tivaro-make-capture writes; bad input fails clearly.
set -euo pipefail
decode=$1
make_capture=$2
root=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

"$make_capture" "$work/capture.bin" "$work/capture-older.txt"
cmp "$work/capture.bin" "$root/examples/race-capture.bin" || fail "examples/race-capture.bin is stale"
cmp "$work/capture-older.txt" "$root/examples/race-capture-older.txt" ||
    fail "examples/race-capture-older.txt is stale"

expected="$root/tests/tools/race-capture.expected"
"$decode" "$root/examples/race-capture.bin" > "$work/serial.out"
diff -u "$expected" "$work/serial.out" || fail "serial binary decode"
"$decode" --tcp < "$root/examples/race-capture.bin" > "$work/tcp.out"
diff -u "$expected" "$work/tcp.out" || fail "TCP binary decode"
"$decode" --older "$root/examples/race-capture-older.txt" > "$work/older.out"
diff -u "$expected" "$work/older.out" || fail "older lines, serial"
"$decode" --older --tcp "$root/examples/race-capture-older.txt" > "$work/older-tcp.out"
diff -u "$expected" "$work/older-tcp.out" || fail "older lines, TCP"

# The raw log gets every passing line, and only when asked.
"$decode" --older --raw-log "$work/raw.log" "$root/examples/race-capture-older.txt" > /dev/null
[ "$(grep -c $'^\x01@' "$work/raw.log")" -eq "$(wc -l < "$expected")" ] || fail "raw log entries"

# Dumps: each record's raw and unescaped bytes.
"$decode" --dump "$root/examples/race-capture.bin" > "$work/dump.out"
grep -q '^raw | 8E | 2 | 33 | 0 |' "$work/dump.out" || fail "raw dump"
grep -q '^unescaped | 2 | 33 | 0 |' "$work/dump.out" || fail "unescaped dump"

# Special characters in a transponder code stay in their column.
printf '\x01@\t3\t1\ta\\b\t754.12\t24\t112\t0\tx\r\n' | "$decode" --older > "$work/escaped.out"
[ "$(cat "$work/escaped.out")" = $'a\\\\b\t0:12:34.12' ] || fail "escaped transponder"
printf '\x01@\t3\t1\t1\t754.12\t24\t112\t0\tA\tB\r\n' | "$decode" --older > "$work/tab.out"
[ "$(cat "$work/tab.out")" = $'A\t0:12:34.12' ] || fail "field 8 transponder"
printf '\x01@\t3\t1\t1\t754.12\t24\t112\t0\tAB\r\n' | "$decode" --older > "$work/crlf.out"
[ "$(cat "$work/crlf.out")" = $'AB\t0:12:34.12' ] || fail "line end kept in the transponder"

# Checks arm on the capture's records: one hit on the line later is set aside, counted on
# standard error and listed with --set-aside; standard output holds the handled passings only.
cp "$root/examples/race-capture.bin" "$work/hit.bin"
printf '\x55' | dd of="$work/hit.bin" bs=1 seek=2018 conv=notrunc 2> /dev/null
"$decode" --set-aside "$work/hit.bin" > "$work/hit.out" 2> "$work/hit.err"
grep -v $'^7404588\t19:10:15.37$' "$expected" | diff -u - "$work/hit.out" || fail "set-aside passing"
grep -q 'terzijde gelegd wegens een foute controlesom: 1 ' "$work/hit.err" || fail "set-aside count"
grep -q $'^terzijde gelegd\t7404588\t' "$work/hit.err" || fail "set-aside listing"

# Noise before a line's start, and half a line glued to the next: both passings are read.
printf 'xx\001@\t3\t1\t7405583\t68400.48\t1\t2\t3\tx1\r\n\001@\t3\t2\t74055\001@\t3\t3\t7405584\t68401.00\t1\t2\t3\tx2\r\n' |
    "$decode" --older - > "$work/noise.out"
[ "$(cat "$work/noise.out")" = $'7405583\t19:0:0.48\n7405584\t19:0:1.00' ] || fail "noise before a line"

# A file that cannot be read: a clear message and exit status 2.
set +e
"$decode" "$work/missing.bin" 2> "$work/err.txt"
status=$?
set -e
[ "$status" -eq 2 ] || fail "missing file gave exit status $status"
grep -q "$work/missing.bin kan niet worden gelezen" "$work/err.txt" || fail "missing file message"
echo "decode tests passed"
