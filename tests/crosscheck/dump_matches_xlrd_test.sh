#!/usr/bin/env bash
# For every good fixture, `clivara-archivio dump` must equal what python3-xlrd reads from the
# same file, converted by the same text rules (xlrd_dump.py).
source "$(dirname "$0")/common.sh"

count=0
while read -r file; do
    name=$(basename "$file")
    count=$((count + 1))
    if ! "$tool" dump "$file" >"$scratch/ours.json" 2>"$scratch/ours.err"; then
        fail "$name: dump non riuscito: $(cat "$scratch/ours.err")"
        continue
    fi
    if ! $py "$here/xlrd_dump.py" "$file" >"$scratch/xlrd.json" 2>"$scratch/xlrd.err"; then
        fail "$name: xlrd non lo legge: $(tail -1 "$scratch/xlrd.err")"
        continue
    fi
    if ! $py "$here/compare_dumps.py" clivara "$scratch/ours.json" xlrd "$scratch/xlrd.json" \
        >"$scratch/diff.txt"; then
        fail "$name: il dump differisce da xlrd"
        cat "$scratch/diff.txt"
    fi
done < <(good_fixtures)
[ "$count" -gt 10 ] || fail "trovati solo $count fixture in $fixtures"
finish
