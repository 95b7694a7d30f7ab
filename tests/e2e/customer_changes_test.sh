#!/usr/bin/env bash
# The built program under Xvfb, driven with xdotool: adds a customer, renames another so that
# it moves, deletes a third, changes the note of a fourth and leaves with "Esci"; then
# python3-xlrd and ssconvert read the saved archive and must find exactly the expected
# register, with the rest of the file as it was (the other sheet, the headings, the cells
# right of column M), and every modified row with the same kind of cell as before, cell by
# cell (texts that look like numbers stay texts, numbers and dates stay what they were).
# Usage: customer_changes_test.sh PROGRAM TOOL FIXTURES_DIR
set -euo pipefail
program=$1
python=/usr/bin/python3

source "$(dirname "$0")/lib.sh"
app_pid=""

# The archive, written by python3-xlwt: four customers, a note right of M on rows 1 to 5, a
# counter of 5 and a third sheet the program never touches. Every C.A.P. and Partita IVA is
# a text, with or without a leading zero; Cellullare is a number where it is filled.
"$python" - "$work/Archivio.xls" "$(dirname "$0")" <<'EOF'
import datetime, sys
sys.path.insert(0, sys.argv[2])
from xlwt_archive import write_archive
customers = [
    ("Bianchi Arredamenti", 1, datetime.date(2008, 1, 14), "Via Roma 12", "00185", "Roma",
     "RM", "06 4455667", 3331234567, "BNCLRA70A01H501X", "01234567890", "Storico", ""),
    ("Caffè Esposito", 2, datetime.date(2008, 2, 3), "Piazza Dante 4", "80135", "Napoli",
     "NA", "081 5512345", 3479876543, "SPSGNN65B12F839K", "12345678901", "", "Lunedì chiuso"),
    ("Di Martino Luca", 3, datetime.date(2008, 2, 28), "Corso Vittorio 210", "10121",
     "Torino", "TO", "", "", "DMRLCU80C15L219P", "", "Privato", ""),
    ("Gallo Maria Grazia", 5, datetime.date(2008, 4, 2), "Via Garibaldi 88", "22063",
     "Cantù", "CO", "031 711100", 3201112233, "GLLMGR62D41B639M", "22392272825", "", ""),
]
def more(book, clienti):
    clienti.write(0, 13, "Promemoria")
    for row in range(1, len(customers) + 1):
        clienti.write(row, 13, "extra%d" % (row + 1))
    clienti.write(2, 15, 3.5)
    appunti = book.add_sheet("Appunti")
    appunti.write(0, 0, "Da richiamare")
    appunti.write(3, 2, 1234.5)
write_archive(sys.argv[1], customers, 5, more)
EOF
cp "$work/Archivio.xls" "$work/originale.xls"
cp "$program" "$work/clivara"

start_xvfb

start_program
box_titles='Clivara 2008|Scheda Cliente 2008'

# Chooses the n-th entry of the customer list (0 = the heading) with the arrow keys, starting
# from the name field, which holds the focus after every operation.
choose_customer() {
    focus_main
    xdotool key shift+Tab
    local i
    for ((i = 0; i <= $1; i++)); do xdotool key Down; done
    sleep 0.3
    xdotool key Tab
}
replace_name() {
    xdotool key ctrl+a BackSpace
    xdotool type --delay 20 "$1"
}
# From the name field to the n-th field after it in the tab order (C, D, ..., M).
tab_fields() {
    local i
    for ((i = 0; i < $1; i++)); do xdotool key Tab; done
}

focus_main
# 1. A new customer: the name typed into the focused name field.
xdotool type --delay 20 "Ferri Edilizia"
clienti_menu 1
answer_box Return   # " Vuoi Inserire questo Cliente ?"
answer_box Return   # "Cliente Aggiunto"

# 2. Bianchi (the first customer after the heading) renamed, so that it sorts last.
choose_customer 1
replace_name "Zanetti Bianchi"
clienti_menu 2
answer_box Return   # question
answer_box Return   # "Cliente Modificato"

# 3. The first customer now, Caffè Esposito, deleted.
choose_customer 1
clienti_menu 3
answer_box Return   # question
answer_box Return   # "Cliente ... Eliminato"

# 4. Gallo, now the third customer, gets a note (the tenth field after the name): the whole
# row is written back, its texts that look like numbers included.
choose_customer 3
tab_fields 10
xdotool type --delay 20 "Richiamare a settembre"
clienti_menu 2
answer_box Return   # question
answer_box Return   # "Cliente Modificato"

# 5. "Esci": the first menu, its only entry.
focus_main
xdotool key alt
sleep 0.3
xdotool key Down Return
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "il programma non è terminato con Esci"
wait "$app_pid" || fail "il programma è terminato con un errore"
pids=()

# What xlrd finds.
"$python" - "$work/Archivio.xls" "$work/originale.xls" <<'EOF' || fail "registro non atteso (xlrd)"
import datetime, sys, xlrd

def cells(sheet, book):
    rows = []
    for r in range(sheet.nrows):
        row = []
        for c in range(sheet.ncols):
            cell = sheet.cell(r, c)
            if cell.ctype == xlrd.XL_CELL_DATE:
                row.append(datetime.datetime(*xlrd.xldate_as_tuple(cell.value, book.datemode)).strftime("%d/%m/%Y"))
            elif cell.ctype == xlrd.XL_CELL_NUMBER and cell.value == int(cell.value):
                row.append(str(int(cell.value)))
            else:
                row.append(str(cell.value))
        rows.append(row)
    return rows

saved = xlrd.open_workbook(sys.argv[1])
original = xlrd.open_workbook(sys.argv[2])
assert saved.sheet_names() == ["Clienti", "Codici", "Appunti"], saved.sheet_names()
got = cells(saved.sheet_by_name("Clienti"), saved)
was = cells(original.sheet_by_name("Clienti"), original)
today = datetime.date.today().strftime("%d/%m/%Y")

pad = lambda row: (row + [""] * 16)[:16]
was = [pad(r) for r in was]
got = [pad(r) for r in got]
expected = [
    was[0],
    was[3][:13] + ["extra3", "", "3.5"],                   # Di Martino moved up into row 2
    ["Ferri Edilizia", "6", today] + [""] * 10 + ["extra4", "", ""],
    was[4][:11] + ["Richiamare a settembre", ""] + ["extra5", "", ""],  # Gallo, new note
    ["Zanetti Bianchi"] + was[1][1:13] + ["", "", ""],     # Bianchi renamed, sorted last
]
assert len(got) == len(expected), (len(got), got)
for number, (g, e) in enumerate(zip(got, expected), start=1):
    assert g == e, (number, g, e)

# The kind and the stored value of every cell of A to M of the rows written back: as in the
# original row, but for the changed field, which holds a text now.
def raw(sheet, r):
    return [(sheet.cell_type(r, c), sheet.cell_value(r, c)) if c < sheet.ncols else (xlrd.XL_CELL_EMPTY, "")
            for c in range(13)]

saved_clienti = saved.sheet_by_name("Clienti")
original_clienti = original.sheet_by_name("Clienti")
for saved_row, original_row, changed in [(1, 3, {}), (3, 4, {11: "Richiamare a settembre"}),
                                         (4, 1, {0: "Zanetti Bianchi"})]:
    expected_cells = raw(original_clienti, original_row)
    for column, text in changed.items():
        expected_cells[column] = (xlrd.XL_CELL_TEXT, text)
    got_cells = raw(saved_clienti, saved_row)
    for column, (g, e) in enumerate(zip(got_cells, expected_cells)):
        assert g == e, ("row", saved_row + 1, "column", column + 1, g, e)
# The new customer: its identifier a number, its date a date.
assert saved_clienti.cell_type(2, 1) == xlrd.XL_CELL_NUMBER, saved_clienti.cell(2, 1)
assert saved_clienti.cell_type(2, 2) == xlrd.XL_CELL_DATE, saved_clienti.cell(2, 2)
assert cells(saved.sheet_by_name("Codici"), saved) == [["Ultimo codice"], ["6"]]
assert cells(saved.sheet_by_name("Appunti"), saved) == cells(original.sheet_by_name("Appunti"), original)
EOF

# What Gnumeric finds: the same names, identifiers and counter.
ssconvert -S -T Gnumeric_stf:stf_csv "$work/Archivio.xls" "$work/foglio.csv.%n" >/dev/null 2>&1 ||
    fail "ssconvert non legge l'archivio"
cut -d, -f1,2 "$work/foglio.csv.0" | tr -d '"' >"$work/nomi.txt"
printf '%s\n' "Ragione Sociale,ID" "Di Martino Luca,3" "Ferri Edilizia,6" \
    "Gallo Maria Grazia,5" "Zanetti Bianchi,1" | diff - "$work/nomi.txt" ||
    fail "registro non atteso (ssconvert)"
[ "$(sed -n 2p "$work/foglio.csv.1")" = "6" ] || fail "contatore non atteso (ssconvert)"
grep -q "Da richiamare" "$work/foglio.csv.2" || fail "foglio Appunti perso (ssconvert)"
echo "ok"
