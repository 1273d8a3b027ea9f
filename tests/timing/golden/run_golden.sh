#!/usr/bin/env bash
# Replays one golden scenario on a copy of the demo workbook and compares what came out.
#
#   run_golden.sh REPLAY_TOOL DEMO_WORKBOOK GOLDEN_DIR NAME [ENGINE]
#
# ENGINE is the replay tool's --engine (default embedded). With calc the lines of NAME.cells
# that say the embedded engine left a cached formula result out of the file ("cached none")
# are not checked: Calc computes every formula and stores its result.
#
# NAME.scenario is played with the workbook copied to race.xlsx (and to next-heat.xlsx) beside
# it, and every file of GOLDEN_DIR/workbooks/ copied beside it under its own name. Then:
#   stdout equals NAME.out, and the coupling log holds the same lines (with CR LF);
#   the exit status equals NAME.status (0 when that file is missing);
#   every line of NAME.err (if present) occurs in stderr, the scratch folder written as TMP;
#   the saved workbook's cells match NAME.cells (if present).
set -uo pipefail
replay=$1 demo=$2 golden=$3 name=$4 engine=${5:-embedded}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$demo" "$tmp/race.xlsx"
cp "$demo" "$tmp/next-heat.xlsx"  # the next heat's workbook, for races that open another
if [ -d "$golden/workbooks" ]; then
    cp "$golden/workbooks/"* "$tmp/"
fi
cp "$golden/$name.scenario" "$tmp/"

"$replay" --data-dir "$tmp/data" --engine "$engine" "$tmp/$name.scenario" >"$tmp/stdout" 2>"$tmp/stderr"
status=$?
failed=0

want_status=0
[ -f "$golden/$name.status" ] && want_status=$(cat "$golden/$name.status")
if [ "$status" != "$want_status" ]; then
    echo "exit status $status, expected $want_status"
    failed=1
fi
if ! diff -u "$golden/$name.out" "$tmp/stdout"; then
    echo "standard output differs from $name.out"
    failed=1
fi
if [ -s "$golden/$name.out" ] || [ -f "$tmp/data/dovokop.log" ]; then
    if ! tr -d '\r' <"$tmp/data/dovokop.log" | diff -u "$golden/$name.out" -; then
        echo "coupling log differs from $name.out"
        failed=1
    fi
    if [ "$(grep -c $'\r$' "$tmp/data/dovokop.log")" != "$(wc -l <"$golden/$name.out")" ]; then
        echo "coupling log lines do not all end in CR LF"
        failed=1
    fi
fi
if [ -f "$golden/$name.err" ]; then
    sed "s|$tmp|TMP|g" "$tmp/stderr" >"$tmp/stderr.tmp"
    while IFS= read -r line; do
        if ! grep -qF -- "$line" "$tmp/stderr.tmp"; then
            echo "stderr lacks: $line"
            failed=1
        fi
    done <"$golden/$name.err"
elif [ -s "$tmp/stderr" ]; then
    echo "unexpected stderr:"
    cat "$tmp/stderr"
    failed=1
fi
if [ -f "$golden/$name.cells" ]; then
    if [ "$engine" = calc ]; then
        grep -v ' cached none$' "$golden/$name.cells" >"$tmp/expected.cells"
    else
        cp "$golden/$name.cells" "$tmp/expected.cells"
    fi
    if ! (cd "$tmp" && /usr/bin/python3 "$golden/check_cells.py" race.xlsx "$tmp/expected.cells"); then
        failed=1
    fi
fi
[ "$failed" = 0 ] && echo "golden $name: ok"
exit "$failed"
