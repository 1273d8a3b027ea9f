#!/usr/bin/env bash
# Replays races with `tivaro-replay --results` and checks the results it writes:
#   the CSV equals NAME.csv here, byte for byte (BOM, ';', CR LF);
#   the PDF, read back by pdftotext, lists the same competitors in the same order, with the
#   page footer.
#
#   replay_results_test.sh REPLAY_TOOL DEMO_WORKBOOK RESULTS_DIR GOLDEN_DIR
set -uo pipefail
replay=$1 demo=$2 here=$3 golden=$4

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0

run() {  # NAME SCENARIO_DIR
    local name=$1 dir=$2 work="$tmp/$1"
    mkdir -p "$work"
    cp "$demo" "$work/race.xlsx"
    cp "$demo" "$work/next-heat.xlsx"
    cp "$dir/$name.scenario" "$work/"
    for format in csv pdf; do
        rm -rf "$work/copies" "$work/data"
        if ! "$replay" --engine embedded --data-dir "$work/data" --copy-to "$work/copies" \
            --results "$work/results.$format" "$work/$name.scenario" >/dev/null 2>"$work/err.$format"; then
            # A race with failures on the way (a golden race of errors) still writes results.
            [ -s "$work/results.$format" ] || { echo "$name: no $format written"; cat "$work/err.$format"; failed=1; return; }
        fi
    done
    if ! cmp -s "$here/$name.csv" "$work/results.csv"; then
        echo "$name: the CSV differs from $name.csv"
        diff <(tr -d '\r' <"$here/$name.csv") <(tr -d '\r' <"$work/results.csv")
        failed=1
    fi
    # The bibs in PDF order: each table row has the bib right after the place (if any).
    pdftotext -layout "$work/results.pdf" "$work/results.txt"
    local pdf_bibs csv_bibs
    pdf_bibs=$(grep -E '^ *([0-9]+ +)?[0-9]{3} +Deelnemer' "$work/results.txt" |
        sed -E 's/^ *([0-9]+ +)?([0-9]{3}) .*/\2/')
    csv_bibs=$(tail -n +2 "$work/results.csv" | cut -d';' -f2)
    if [ "$pdf_bibs" != "$csv_bibs" ]; then
        echo "$name: the PDF lists other competitors, or in another order, than the CSV"
        diff <(echo "$pdf_bibs") <(echo "$csv_bibs")
        failed=1
    fi
    if ! grep -q "Pagina 1 van 1" "$work/results.txt" || ! grep -q "Tivaro —" "$work/results.txt"; then
        echo "$name: the PDF lacks its footer"
        failed=1
    fi
}

run midnight "$here"
for name in running skating cycling hand_passings undo; do
    run "$name" "$golden"
done
exit $failed
