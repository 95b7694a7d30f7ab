#!/usr/bin/env bash
# The crafted files checked with readers nobody here wrote.
# - Each `crafted-slack-*` file (make_slack_fixtures.py, which names the file it was made from)
#   is read by `dump` exactly as that file; its copy is a clean compound file: python3-xlrd
#   opens it without a warning and sees what it sees in the original, ssconvert converts it
#   without a complaint to the same CSV.
# - The Excel 2.x/3.0/4.0 files (make_oldest_fixtures.py) are what they claim: xlrd reads them
#   as BIFF 2, 3 and 4 with their cells, ssconvert converts them.
source "$(dirname "$0")/common.sh"

pairs=$(cd "$fixtures" && $py -B -c 'import make_slack_fixtures as m
for target, base, _ in m.FIXTURES: print(target, base)')
[ "$(echo "$pairs" | wc -l)" -ge 8 ] || fail "make_slack_fixtures.py elenca solo: $pairs"

while read -r slack base; do
    "$tool" dump "$fixtures/$slack" >"$scratch/slack.json" 2>"$scratch/err" ||
        { fail "$slack: dump non riuscito: $(cat "$scratch/err")"; continue; }
    "$tool" dump "$fixtures/$base" >"$scratch/base.json"
    cmp -s "$scratch/slack.json" "$scratch/base.json" || fail "$slack: letto diverso da $base"

    copy="$scratch/copy.xls"
    rm -f "$copy"
    "$tool" copy "$fixtures/$slack" "$copy" 2>"$scratch/err" ||
        { fail "$slack: copy non riuscito: $(cat "$scratch/err")"; continue; }
    $py - "$copy" "$fixtures/$base" <<'PY' || fail "$slack: xlrd non vede la copia pulita e uguale"
import io
import os
import sys
import xlrd
copy, base = sys.argv[1], sys.argv[2]
log = io.StringIO()
got = xlrd.open_workbook(copy, logfile=log)
want = xlrd.open_workbook(base, logfile=io.StringIO())
problems = []
if (os.path.getsize(copy) - 512) % 512:
    problems.append("dimensione %d" % os.path.getsize(copy))
if log.getvalue().strip():
    problems.append("avvisi: " + log.getvalue().strip())
if got.sheet_names() != want.sheet_names():
    problems.append("fogli %r" % got.sheet_names())
for a, b in zip(got.sheets(), want.sheets()):
    rows_a = [a.row_values(r) for r in range(a.nrows)]
    rows_b = [b.row_values(r) for r in range(b.nrows)]
    if rows_a != rows_b:
        problems.append("celle diverse in " + a.name)
for p in problems:
    print(p)
sys.exit(1 if problems else 0)
PY
    rm -f "$scratch"/c_*.csv "$scratch"/b_*.csv
    ssconvert -S "$copy" "$scratch/c_%n.csv" >"$scratch/ss.log" 2>&1 || fail "$slack: ssconvert non converte la copia"
    [ -s "$scratch/ss.log" ] && fail "$slack: ssconvert si lamenta della copia: $(head -3 "$scratch/ss.log")"
    ssconvert -S "$fixtures/$base" "$scratch/b_%n.csv" >/dev/null 2>&1
    for csv in "$scratch"/b_*.csv; do
        cmp -s "$csv" "$scratch/c_${csv##*/b_}" || fail "$slack: ssconvert converte la copia in un CSV diverso"
    done
done <<<"$pairs"

for version in 2 3 4; do
    file="$fixtures/bad-excel$version.xls"
    $py - "$file" "$version" <<'PY' || fail "bad-excel$version.xls: xlrd non lo legge come BIFF $version"
import io
import sys
import xlrd
book = xlrd.open_workbook(sys.argv[1], logfile=io.StringIO())
sheet = book.sheet_by_index(0)
assert book.biff_version // 10 == int(sys.argv[2]), book.biff_version
assert sheet.row_values(1) == ["Rossi Forniture S.r.l.", 7.0], sheet.row_values(1)
PY
    ssconvert "$file" "$scratch/old.csv" >/dev/null 2>&1
    grep -q '^"Rossi Forniture S.r.l.",7$' "$scratch/old.csv" 2>/dev/null ||
        fail "bad-excel$version.xls: ssconvert non ne legge le celle"
done
finish
