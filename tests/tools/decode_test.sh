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

# A file that cannot be read: a clear message and exit status 2.
set +e
"$decode" "$work/missing.bin" 2> "$work/err.txt"
status=$?
set -e
[ "$status" -eq 2 ] || fail "missing file gave exit status $status"
grep -q "$work/missing.bin kan niet worden gelezen" "$work/err.txt" || fail "missing file message"
echo "decode tests passed"
