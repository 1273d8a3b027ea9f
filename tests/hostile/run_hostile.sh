#!/usr/bin/env bash
# Races every hostile workbook that make_hostile.py writes through the replay tool, each
# under a 2 GiB address-space limit, and checks for each:
#   - no crash: exit status 0 or 1, never a signal (a hang is caught by the ctest TIMEOUT,
#     and by the timeout of each run);
#   - each fragment listed for the file is in the message on standard error, which speaks
#     Dutch; a file listed without fragments is raced with an empty standard error;
#   - the file is byte for byte as it was, and no backup of it was made.
#
#   run_hostile.sh REPLAY_TOOL DEMO_WORKBOOK
set -uo pipefail
replay=$1 demo=$2
here=$(cd "$(dirname "$0")" && pwd)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
if ! /usr/bin/python3 "$here/make_hostile.py" "$demo" "$tmp" >"$tmp/list"; then
    echo "cannot write the hostile workbooks"
    exit 1
fi

failed=0 count=0
while IFS=$'\t' read -r -a fields; do
    name=${fields[0]}
    expected=("${fields[@]:1}")
    dir="$tmp/${name%.xlsx}"
    mkdir "$dir"
    mv "$tmp/$name" "$dir/"
    before=$(sha256sum <"$dir/$name")
    printf 'open %s\nsport Lopen\nphase record\npassing 7405583 10:0:0.00\npassing 7405583 10:1:0.00\n' \
        "$name" >"$dir/race.scenario"
    (
        ulimit -v 2097152
        exec timeout -s KILL 60 "$replay" --engine embedded --data-dir "$dir/data" "$dir/race.scenario"
    ) >"$dir/stdout" 2>"$dir/stderr"
    status=$?
    count=$((count + 1))
    problems=()
    if [ "$status" -gt 1 ]; then
        problems+=("exit status $status (a signal, a hang or a bad scenario)")
    fi
    if [ "${#expected[@]}" -eq 0 ]; then
        [ "$status" = 0 ] || problems+=("exit status $status, expected 0")
        [ -s "$dir/stderr" ] && problems+=("unexpected message")
    else
        [ "$status" = 1 ] || problems+=("exit status $status, expected 1")
        for fragment in "${expected[@]}"; do
            grep -qF -- "$fragment" "$dir/stderr" || problems+=("no \"$fragment\" in the message")
        done
    fi
    [ "$(sha256sum <"$dir/$name")" = "$before" ] || problems+=("the file was changed")
    if [ -n "$(ls -A "$dir/data/backup" 2>/dev/null)" ]; then
        problems+=("a backup was made: the workbook was saved")
    fi
    if [ "${#problems[@]}" -gt 0 ]; then
        failed=$((failed + 1))
        echo "FAILED $name:"
        printf '  %s\n' "${problems[@]}"
        sed 's/^/  stderr: /' "$dir/stderr" | cut -c1-400
    else
        echo "ok $name"
    fi
done <"$tmp/list"

echo "$((count - failed)) passed, $failed failed"
[ "$count" -gt 0 ] && [ "$failed" = 0 ]
