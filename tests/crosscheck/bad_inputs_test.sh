#!/usr/bin/env bash
# Every bad fixture is refused by `check` and `dump` with exit 2, nothing on stdout, an Italian
# message that names the file and says what kind of problem it is, and the file untouched.
source "$(dirname "$0")/common.sh"

# fixture -> its kind of problem
declare -A kind_of=(
    [bad-empty.xls]=empty [bad-random.xls]=not-excel [bad-csv.xls]=not-excel
    [bad-no-workbook.xls]=not-excel [bad-xlsx.xls]=not-excel [bad-excel95.xls]=old-format
    [bad-password.xls]=password [bad-truncated.xls]=damaged [bad-sector-loop.xls]=damaged
    [bad-long-record.xls]=damaged [bad-sst-index.xls]=damaged
    [bad-excel2.xls]=excel2 [bad-excel3.xls]=excel3 [bad-excel4.xls]=excel4
)
# kind -> a phrase only the message of that kind contains
declare -A phrase_of=(
    [empty]="è vuoto" [not-excel]="non è una cartella di lavoro Excel 97-2003"
    [old-format]="Excel 5.0/95" [password]="protetto da una password" [damaged]="danneggiato"
    [excel2]="vecchio formato Excel 2.x" [excel3]="vecchio formato Excel 3.0"
    [excel4]="vecchio formato Excel 4.0"
)
# A renamed .xlsx also gets a hint on what it is.
declare -A extra_of=([bad-xlsx.xls]="formato più recente")

for file in "$fixtures"/bad-*.xls; do
    name=$(basename "$file")
    [ -n "${kind_of[$name]:-}" ] || fail "$name: nessun messaggio atteso per questo fixture"
done
for name in "${!kind_of[@]}"; do
    file="$fixtures/$name"
    [ -f "$file" ] || { fail "$name: manca"; continue; }
    kind=${kind_of[$name]}
    phrase=${phrase_of[$kind]}
    before=$(sha256sum <"$file")
    for command in check dump; do
        "$tool" "$command" "$file" >"$scratch/out" 2>"$scratch/err"
        status=$?
        message=$(cat "$scratch/err")
        [ "$status" -eq 2 ] || fail "$name: $command esce con $status invece di 2"
        [ -s "$scratch/out" ] && fail "$name: $command scrive su stdout: $(head -c 200 "$scratch/out")"
        [[ "$message" == *"$phrase"* ]] || fail "$name: $command dice «$message», senza «$phrase»"
        [[ "$message" == *"$name"* ]] || fail "$name: il messaggio non nomina il file: «$message»"
        extra=${extra_of[$name]:-}
        [[ -z "$extra" || "$message" == *"$extra"* ]] || fail "$name: manca «$extra»: «$message»"
        for other in "${!phrase_of[@]}"; do
            if [ "$other" != "$kind" ] && [[ "$message" == *"${phrase_of[$other]}"* ]]; then
                fail "$name: il messaggio parla anche di «${phrase_of[$other]}»: «$message»"
            fi
        done
    done
    [ "$(sha256sum <"$file")" = "$before" ] || fail "$name: il file è stato modificato"
done

# copy refuses too and writes nothing.
"$tool" copy "$fixtures/bad-truncated.xls" "$scratch/copy.xls" 2>/dev/null
[ $? -eq 2 ] || fail "copy di un file danneggiato non esce con 2"
[ -e "$scratch/copy.xls" ] && fail "copy di un file danneggiato ha scritto $scratch/copy.xls"
# A missing file is unreadable as well.
"$tool" check "$scratch/manca.xls" >/dev/null 2>&1
[ $? -eq 2 ] || fail "check di un file inesistente non esce con 2"
finish
