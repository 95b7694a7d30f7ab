#!/usr/bin/env bash
# `clivara-archivio esporta` as the programs that read its files see them: the CSV through
# Python's csv module and LibreOffice's CSV import, the vCards through python3-vobject; and
# the archive is never written, whatever the outcome.
source "$(dirname "$0")/common.sh"

archive="$scratch/Archivio.xls"
# An archive written by python3-xlwt with what trips exporters up: a postcode with a leading
# zero, separators and quotes inside texts, a note on two lines, numbers and a date.
$py - "$archive" <<'PY' || { fail "xlwt non ha scritto l'archivio"; finish; }
import sys, datetime, xlwt
book = xlwt.Workbook(encoding="utf-8")
sheet = book.add_sheet("Clienti")
headings = ["Ragione Sociale", "ID", "Data", "Indirizzo", "C.A.P.", "Località", "(PR)",
            "Telefono", "Cellulare", "Codice Fiscale", "Partita IVA", "Note 1", "Note 2"]
rows = [
    ["Caffè \"Roma\"; bar", 1, datetime.date(2008, 6, 15), "Via Po, 1", "00184", "Roma", "RM",
     "06 1656160", "333 1234567", "RSSMRA80A01H501U", "01234567890", "riga 1\nriga 2", ""],
    ["Bianchi Ottavio", 2, "", "Piazza Duomo 1", "20121", "Milano", "MI", "", "", "", "",
     "", "=SOMMA(1)"],
    ["Ferri & C. s.n.c.", 3, datetime.date(2009, 1, 2), "", "09100", "Cagliari", "CA",
     "070 123", "", "", "00000000000", "", "ultima"],
]
date = xlwt.easyxf(num_format_str="dd/mm/yyyy")
for c, h in enumerate(headings):
    sheet.write(0, c, h)
for r, row in enumerate(rows, start=1):
    for c, value in enumerate(row):
        if value == "":
            continue
        if isinstance(value, datetime.date):
            sheet.write(r, c, value, date)
        else:
            sheet.write(r, c, value)
codici = book.add_sheet("Codici")
codici.write(0, 0, "Codice")
codici.write(1, 0, 3)
book.save(sys.argv[1])
PY
before=$(sha256sum <"$archive")
"$tool" dump "$archive" >"$scratch/dump.json" || fail "dump non riuscito"

# The whole register as CSV.
"$tool" esporta "$archive" "$scratch/tutti.csv" >"$scratch/out" 2>&1 ||
    fail "esporta in CSV esce con $?: $(cat "$scratch/out")"
grep -q "^3 clienti esportati in " "$scratch/out" || fail "esporta dice «$(cat "$scratch/out")»"
$py - "$scratch/tutti.csv" "$scratch/dump.json" <<'PY' || fail "Python legge un CSV diverso dall'archivio"
import csv, json, sys
raw = open(sys.argv[1], "rb").read()
dump = json.load(open(sys.argv[2], encoding="utf-8"))["clienti"]
assert raw.startswith(b"\xef\xbb\xbf"), "manca il BOM"
assert raw.count(b"\r\n") == raw.count(b"\n") - 1, "righe non chiuse da CR LF (a parte la nota)"
with open(sys.argv[1], encoding="utf-8-sig", newline="") as f:
    records = list(csv.reader(f, delimiter=";"))
assert records == dump, "%r\n!=\n%r" % (records, dump)
PY

# LibreOffice's CSV import (UTF-8, ';', '"', Italian, quoted fields as text) gives the same texts, and
# the postcode stays a text with its leading zero.
profile="file://$scratch/lo-profile"
if timeout 180 soffice -env:UserInstallation="$profile" --headless \
    --infilter="CSV:59,34,76,1,,1040,true" --convert-to xls:"MS Excel 97" --outdir "$scratch/lo" \
    "$scratch/tutti.csv" >"$scratch/lo.log" 2>&1 && [ -f "$scratch/lo/tutti.xls" ]; then
    $py - "$scratch/lo/tutti.xls" "$scratch/dump.json" <<'PY' || fail "LibreOffice importa un CSV diverso dall'archivio"
import json, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
sheet = book.sheet_by_index(0)
dump = json.load(open(sys.argv[2], encoding="utf-8"))["clienti"]
def text(cell):
    if cell.ctype == xlrd.XL_CELL_DATE:
        y, m, d = xlrd.xldate_as_tuple(cell.value, 0)[:3]
        return "%02d/%02d/%04d" % (d, m, y)
    if cell.ctype == xlrd.XL_CELL_NUMBER:
        return "%d" % cell.value if cell.value == int(cell.value) else repr(cell.value)
    return cell.value
seen = [[text(sheet.cell(r, c)) if c < sheet.row_len(r) else "" for c in range(13)]
        for r in range(sheet.nrows)]
assert [[t.replace("\r\n", "\n") for t in row] for row in seen] == dump, "%r" % seen
assert sheet.cell(1, 4).ctype == xlrd.XL_CELL_TEXT and sheet.cell(1, 4).value == "00184"
assert sheet.cell(1, 10).ctype == xlrd.XL_CELL_TEXT, "la partita IVA è diventata un numero"
PY
else
    fail "LibreOffice non importa il CSV: $(cat "$scratch/lo.log")"
fi

# vCards of the customers the search finds, read by python3-vobject.
"$tool" esporta "$archive" "$scratch/trovati.vcf" 061656160 >"$scratch/out" 2>&1 ||
    fail "esporta in vCard esce con $?: $(cat "$scratch/out")"
$py - "$scratch/trovati.vcf" <<'PY' || fail "vobject legge vCard sbagliate"
import sys, vobject
cards = list(vobject.readComponents(open(sys.argv[1], encoding="utf-8").read()))
assert len(cards) == 1, len(cards)
card = cards[0]
assert card.version.value == "3.0"
assert card.uid.value == "1" and card.fn.value == 'Caffè "Roma"; bar', card.fn.value
assert card.org.value == ['Caffè "Roma"; bar'], card.org.value
adr = card.adr.value
assert (adr.street, adr.city, adr.region, adr.code) == ("Via Po, 1", "Roma", "RM", "00184")
tels = {tuple(t.params["TYPE"]): t.value for t in card.tel_list}
assert tels == {("WORK", "VOICE"): "06 1656160", ("CELL",): "333 1234567"}, tels
assert card.note.value == ("Codice Fiscale: RSSMRA80A01H501U\nPartita IVA: 01234567890\n"
                           "riga 1\nriga 2"), card.note.value
PY
"$tool" esporta "$archive" "$scratch/milano.vcf" milano duomo >/dev/null 2>&1 || fail "esporta milano duomo"
$py -c "import sys, vobject; c = list(vobject.readComponents(open(sys.argv[1]).read())); \
sys.exit(0 if [x.fn.value for x in c] == ['Bianchi Ottavio'] else 1)" "$scratch/milano.vcf" ||
    fail "esporta con due parole"

# Nothing matched, a bad archive, a bad name, the archive itself: nothing written.
"$tool" esporta "$archive" "$scratch/nessuno.csv" zzzz >/dev/null 2>"$scratch/err"
[ $? -eq 1 ] || fail "esporta senza clienti trovati non esce con 1"
[ -e "$scratch/nessuno.csv" ] && fail "esporta senza clienti ha scritto il file"
grep -q "Nessun cliente" "$scratch/err" || fail "esporta senza clienti dice «$(cat "$scratch/err")»"
for bad in "$fixtures/bad-random.xls" "$fixtures/bad-truncated.xls"; do
    "$tool" esporta "$bad" "$scratch/rotto.csv" >/dev/null 2>"$scratch/err"
    [ $? -eq 2 ] || fail "esporta di $(basename "$bad") non esce con 2"
    [ -s "$scratch/err" ] || fail "esporta di $(basename "$bad") non dice nulla"
done
[ -e "$scratch/rotto.csv" ] && fail "esporta di un archivio illeggibile ha scritto il file"
"$tool" esporta "$archive" "$scratch/rubrica.txt" >/dev/null 2>"$scratch/err"
[ $? -eq 2 ] || fail "esporta in .txt non esce con 2"
grep -q "\.csv" "$scratch/err" || fail "esporta in .txt dice «$(cat "$scratch/err")»"
ln -s "$archive" "$scratch/stesso.csv"
"$tool" esporta "$archive" "$scratch/stesso.csv" >/dev/null 2>"$scratch/err"
[ $? -eq 2 ] || fail "esporta sull'archivio stesso non esce con 2"
[ "$(sha256sum <"$archive")" = "$before" ] || fail "esporta ha cambiato l'archivio"
finish
