#!/usr/bin/env bash
# The archive that ships with the program (`clivara-archivio new`) and the demo archive
# (`sample`) as readers nobody here wrote see them; and `new` never overwrites anything.
source "$(dirname "$0")/common.sh"

empty="$scratch/Archivio.xls"
"$tool" new "$empty" 2>"$scratch/err" || fail "new non riuscito: $(cat "$scratch/err")"

# python3-xlrd: sheets, bold headings, widths, the counter, the date format of column C.
$py - "$empty" <<'PY' || fail "xlrd non vede l'archivio vuoto come previsto"
import sys
import xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
problems = []
def check(condition, what):
    if not condition:
        problems.append(what)
check(book.sheet_names() == ["Clienti", "Codici"], "fogli %r" % book.sheet_names())
check(book.datemode == 0, "sistema di date 1904")
clienti, codici = book.sheet_by_name("Clienti"), book.sheet_by_name("Codici")
headings = ["Ragione Sociale", "ID", "Data", "Indirizzo", "C.A.P.", "Località", "(PR)",
            "Telefono", "Cellulare", "Codice Fiscale", "Partita IVA", "Note 1", "Note 2"]
check(clienti.nrows == 1, "Clienti ha %d righe" % clienti.nrows)
check(clienti.row_values(0)[:13] == headings, "intestazioni %r" % clienti.row_values(0))
def bold(sheet, r, c):
    xf = book.xf_list[sheet.cell_xf_index(r, c)]
    return book.font_list[xf.font_index].weight >= 700
check(all(bold(clienti, 0, c) for c in range(13)), "intestazioni non in grassetto")
check(codici.cell(0, 0).ctype == xlrd.XL_CELL_TEXT and codici.cell_value(0, 0).strip(),
      "Codici A1 senza intestazione")
check(bold(codici, 0, 0), "Codici A1 non in grassetto")
check(codici.cell(1, 0).ctype == xlrd.XL_CELL_NUMBER and codici.cell_value(1, 0) == 0,
      "Codici A2 = %r" % codici.cell(1, 0))
widths = [clienti.colinfo_map[c].width if c in clienti.colinfo_map else None for c in range(13)]
check(all(w and w >= 256 * 4 for w in widths), "larghezze %r" % widths)
check(widths[0] > widths[1] and widths[3] > widths[6], "larghezze poco sensate %r" % widths)
date_xf = book.xf_list[clienti.colinfo_map[2].xf_index]
check(book.format_map[date_xf.format_key].format_str == "dd/mm/yyyy",
      "la colonna C non ha il formato dd/mm/yyyy")
for p in problems:
    print("  " + p)
sys.exit(1 if problems else 0)
PY

# ssconvert: reads it without a complaint, same headings and counter.
if ssconvert -S "$empty" "$scratch/empty_%n.csv" >"$scratch/ssconvert.log" 2>&1; then
    [ -s "$scratch/ssconvert.log" ] && fail "ssconvert si lamenta: $(cat "$scratch/ssconvert.log")"
    expected='"Ragione Sociale",ID,Data,Indirizzo,C.A.P.,Località,(PR),Telefono,Cellulare,"Codice Fiscale","Partita IVA","Note 1","Note 2"'
    [ "$(head -1 "$scratch/empty_0.csv")" = "$expected" ] ||
        fail "ssconvert legge le intestazioni: $(head -1 "$scratch/empty_0.csv")"
    [ "$(sed -n 2p "$scratch/empty_1.csv")" = "0" ] ||
        fail "ssconvert legge Codici A2: $(sed -n 2p "$scratch/empty_1.csv")"
else
    fail "ssconvert non legge l'archivio vuoto: $(cat "$scratch/ssconvert.log")"
fi

# Our own reader: sound, no customers, counter 0.
"$tool" check "$empty" >"$scratch/check.txt" 2>&1 || fail "check dell'archivio vuoto: $(cat "$scratch/check.txt")"
grep -q "^Clienti: 0$" "$scratch/check.txt" || fail "check: $(cat "$scratch/check.txt")"

# new never overwrites: not an archive, not an empty file, not a folder.
for target in archive empty folder; do
    path="$scratch/occupato-$target.xls"
    case $target in
        archive) cp "$fixtures/lo-clienti.xls" "$path" ;;
        empty) : >"$path" ;;
        folder) mkdir "$path" ;;
    esac
    before=$(ls -ld --time-style=+%s.%N "$path"; [ -f "$path" ] && sha256sum <"$path")
    "$tool" new "$path" 2>"$scratch/err"
    status=$?
    [ "$status" -eq 2 ] || fail "new su un $target esistente esce con $status"
    grep -q "esiste già" "$scratch/err" || fail "new su un $target: «$(cat "$scratch/err")»"
    after=$(ls -ld --time-style=+%s.%N "$path"; [ -f "$path" ] && sha256sum <"$path")
    [ "$before" = "$after" ] || fail "new ha toccato il $target esistente"
    "$tool" sample "$path" 2>/dev/null && fail "sample ha sovrascritto un $target"
done
ls "$scratch" | grep -v -E '^(Archivio.xls|occupato-.*|empty_.*|ssconvert.log|check.txt|err)$' |
    grep -q . && fail "new ha lasciato file temporanei: $(ls "$scratch")"

# The demo archive: ten customers, sound, and xlrd reads what we read.
demo="$scratch/demo.xls"
"$tool" sample "$demo" 2>"$scratch/err" || fail "sample non riuscito: $(cat "$scratch/err")"
"$tool" check "$demo" >"$scratch/check.txt" 2>&1 || fail "check del demo: $(cat "$scratch/check.txt")"
grep -q "^Clienti: 10 (righe 2-11)$" "$scratch/check.txt" || fail "check del demo: $(cat "$scratch/check.txt")"
"$tool" dump "$demo" >"$scratch/ours.json"
$py "$here/xlrd_dump.py" "$demo" >"$scratch/xlrd.json"
$py "$here/compare_dumps.py" clivara "$scratch/ours.json" xlrd "$scratch/xlrd.json" ||
    fail "il dump del demo differisce da xlrd"
$py - "$demo" <<'PY' || fail "nel demo la data di C2 non è una data dd/mm/yyyy"
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1], formatting_info=True)
sheet = book.sheet_by_name("Clienti")
fmt = book.format_map[book.xf_list[sheet.cell_xf_index(1, 2)].format_key].format_str
sys.exit(0 if sheet.cell(1, 2).ctype == xlrd.XL_CELL_DATE and fmt == "dd/mm/yyyy" else 1)
PY
finish
