#!/usr/bin/env bash
# Opening and saving every good fixture with no change (`clivara-archivio copy`) must leave it
# the same for readers nobody here wrote: python3-xlrd sees the same sheets, date system,
# column widths, and every cell with the same text, format string and boldness; Gnumeric's
# ssconvert converts every sheet to the same CSV and complains of nothing new.
source "$(dirname "$0")/common.sh"

csv_of() {  # file prefix: one CSV per sheet, and ssconvert's complaints
    ssconvert -S "$1" "$2_%n.csv" >"$2.log" 2>&1 || echo "ssconvert non riuscito" >>"$2.log"
    # The file names themselves differ between the two runs.
    sed -e "s|$1||g" "$2.log" | sort -u >"$2.complaints"
}

while read -r file; do
    name=$(basename "$file")
    copy="$scratch/$name"
    if ! "$tool" copy "$file" "$copy" 2>"$scratch/err"; then
        fail "$name: copy non riuscito: $(cat "$scratch/err")"
        continue
    fi
    if ! $py "$here/xlrd_dump.py" --formats "$file" >"$scratch/before.json" 2>/dev/null; then
        fail "$name: xlrd non legge l'originale"
        continue
    fi
    if ! $py "$here/xlrd_dump.py" --formats "$copy" >"$scratch/after.json" 2>"$scratch/err"; then
        fail "$name: xlrd non legge la copia: $(tail -1 "$scratch/err")"
        continue
    fi
    if ! $py "$here/compare_dumps.py" originale "$scratch/before.json" copia \
        "$scratch/after.json" >"$scratch/diff.txt"; then
        fail "$name: xlrd vede la copia diversa dall'originale"
        cat "$scratch/diff.txt"
    fi

    rm -f "$scratch"/orig_* "$scratch"/copy_*
    csv_of "$file" "$scratch/orig"
    csv_of "$copy" "$scratch/copy"
    for sheet_csv in "$scratch"/orig_*.csv; do
        other="$scratch/copy_${sheet_csv##*/orig_}"
        if [ ! -f "$other" ]; then
            fail "$name: ssconvert non trova nella copia il foglio di $(basename "$sheet_csv")"
        elif ! cmp -s "$sheet_csv" "$other"; then
            fail "$name: ssconvert converte la copia in un CSV diverso"
            diff "$sheet_csv" "$other" | head -10
        fi
    done
    new_complaints=$(comm -13 "$scratch/orig.complaints" "$scratch/copy.complaints")
    [ -z "$new_complaints" ] || fail "$name: ssconvert si lamenta della copia: $new_complaints"
done < <(good_fixtures)
finish
