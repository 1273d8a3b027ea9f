#!/usr/bin/env bash
# tivaro-sim sends what it planned: the bytes it writes to a file, to TCP clients (in small
# pieces, in bursts, across a dropped connection) and onto a pseudo-terminal decode through
# tivaro-decode to exactly the planned passings.
set -euo pipefail
sim=$1
decode=$2
python=/usr/bin/python3
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# Into a file: binary records (serial and TCP rules) and older lines with noise.
"$sim" --out "$work/race.bin" --plan-out "$work/plan.txt" --laps 4 --seed 11 2>/dev/null
[ "$(wc -l < "$work/plan.txt")" -gt 100 ] || fail "plan too short"
"$decode" "$work/race.bin" | diff -u "$work/plan.txt" - || fail "binary file, serial rules"
"$decode" --tcp "$work/race.bin" | diff -u "$work/plan.txt" - || fail "binary file, TCP rules"
"$sim" --out "$work/race.txt" --format older --garbage 3 --plan-out "$work/plan-older.txt" \
    --laps 4 --seed 11 2>/dev/null
cmp "$work/plan.txt" "$work/plan-older.txt" || fail "the same seed gives another race"
"$decode" --older "$work/race.txt" | diff -u "$work/plan.txt" - || fail "older lines"

# Every fifth passing hit by a flipped bit: once records check out, the damaged ones are set
# aside, so every passing that comes out is one of the plan and only the damaged are missing.
"$sim" --out "$work/hit.bin" --corrupt 5 --laps 4 --seed 11 2>/dev/null
"$decode" "$work/hit.bin" > "$work/hit.txt" 2> "$work/hit.err"
if grep -vxF -f "$work/plan.txt" "$work/hit.txt"; then fail "a damaged record became a passing"; fi
planned=$(wc -l < "$work/plan.txt")
[ "$(wc -l < "$work/hit.txt")" -eq $((planned - planned / 5)) ] || fail "damaged records not set aside one for one"
grep -q "terzijde gelegd" "$work/hit.err" || fail "set-aside records not reported"

# Same seed, same bytes.
"$sim" --out "$work/again.bin" --laps 4 --seed 11 2>/dev/null
cmp "$work/race.bin" "$work/again.bin" || fail "the same seed gives other bytes"

# Over TCP: 5-byte pieces, bursts of 4 passings, the connection dropped after 30 passings.
# The client reconnects and gets the rest, nothing lost.
port=$((20000 + RANDOM % 20000))
"$sim" --tcp "127.0.0.1:$port" --speed max --split 5 --burst 4 --drop-after 30 --laps 4 \
    --seed 11 --linger 0.3 > "$work/sim-tcp.log" 2>&1 &
"$python" - "$port" "$work/tcp.bin" <<'PY'
import socket, sys, time
port, out = int(sys.argv[1]), sys.argv[2]
data, connections = b"", 0
deadline = time.time() + 20
while time.time() < deadline:
    try:
        s = socket.create_connection(("127.0.0.1", port), timeout=5)
    except OSError:
        if connections >= 2:
            break  # the simulator has finished and gone
        time.sleep(0.05)
        continue
    connections += 1
    while True:
        try:
            chunk = s.recv(65536)
        except ConnectionResetError:
            chunk = b""
        if not chunk:
            break
        data += chunk
    s.close()
open(out, "wb").write(data)
if connections < 2:
    sys.exit("expected a dropped connection and a reconnect, got %d connection(s)" % connections)
PY
wait
grep -q "dropping the connection after 32 passings" "$work/sim-tcp.log" ||
    fail "no drop: $(cat "$work/sim-tcp.log")"
"$decode" --tcp "$work/tcp.bin" | diff -u "$work/plan.txt" - || fail "TCP with drop"

# Onto a pseudo-terminal, as onto a serial line.
"$sim" --pty --speed max --format older --laps 4 --seed 11 --linger 1 > "$work/sim-pty.log" 2>&1 &
for _ in $(seq 50); do
    grep -q "serial device" "$work/sim-pty.log" && break
    sleep 0.1
done
device=$(sed -n 's/.*decoder on serial device \(.*\)$/\1/p' "$work/sim-pty.log")
[ -n "$device" ] || fail "no pseudo-terminal named"
timeout 10 "$python" - "$device" "$work/pty.txt" <<'PY'
import os, sys, time, select
fd = os.open(sys.argv[1], os.O_RDONLY | os.O_NOCTTY)
data = b""
while True:
    ready, _, _ = select.select([fd], [], [], 0.8)
    if not ready:
        break
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    data += chunk
open(sys.argv[2], "wb").write(data)
PY
wait
"$decode" --older "$work/pty.txt" | diff -u "$work/plan.txt" - || fail "pseudo-terminal"

# Bad options: a clear message and exit status 2.
set +e
"$sim" --laps 0 2> "$work/err.txt"
status=$?
set -e
[ "$status" -eq 2 ] && grep -q -- "--laps" "$work/err.txt" || fail "bad option"
echo "simulator tests passed"
