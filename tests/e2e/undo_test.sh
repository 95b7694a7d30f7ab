#!/usr/bin/env bash
# The built program under Xvfb, driven with xdotool: a customer deleted, taken back with
# "Annulla" from the menu, then "Esci": the archive must be byte for byte the original. Then a
# customer added, taken back with Ctrl+Z and made again with Ctrl+Y, then "Esci": python3-xlrd
# must find it once, with the ID it was first given, and the counter at that ID.
# Usage: undo_test.sh PROGRAM TOOL FIXTURES_DIR
set -euo pipefail
program=$1
python=/usr/bin/python3

source "$(dirname "$0")/lib.sh"
app_pid=""

"$python" - "$work/Archivio.xls" <<'PY'
import sys, xlwt
book = xlwt.Workbook(encoding="utf-8")
clienti = book.add_sheet("Clienti")
codici = book.add_sheet("Codici")
clienti.write(0, 0, "Ragione Sociale")
clienti.write(0, 1, "ID")
for row, (name, number) in enumerate([("Bianchi Arredamenti", 1), ("Caffè Esposito", 2),
                                      ("Gallo Maria Grazia", 5)], start=1):
    clienti.write(row, 0, name)
    clienti.write(row, 1, number)
    clienti.write(row, 13, "extra%d" % row)
codici.write(0, 0, "Ultimo codice")
codici.write(1, 0, 5)
book.save(sys.argv[1])
PY
cp "$work/Archivio.xls" "$work/originale.xls"
cp "$program" "$work/clivara"

start_xvfb

box_titles='Clivara 2008|Scheda Cliente 2008'
esci() {
    focus_main
    xdotool key alt
    sleep 0.3
    xdotool key Down Return
    for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app_pid" 2>/dev/null && fail "il programma non è terminato con Esci"
    wait "$app_pid" || fail "il programma è terminato con un errore"
    pids=()
}

# 1. The first customer chosen in the list, deleted, and the deletion taken back: "Annulla"
# is the entry before the last one.
start_program
xdotool key shift+Tab Down Down
sleep 0.3
xdotool key Tab
clienti_menu_keys Down Down
answer_box Return eliminare   # "Si voler Eliminare il Cliente Selezionato ?"
answer_box Return eliminato   # "Cliente ... Eliminato"
clienti_menu_keys End Up
answer_box Return annullata   # "Eliminazione annullata: ..."
esci
cmp "$work/Archivio.xls" "$work/originale.xls" || fail "l'archivio è stato riscritto"
if ls -A "$work" | grep -q clivara-recupero; then fail "i dati di recupero sono rimasti"; fi

# 2. A customer added, taken back and made again with the keys.
start_program
xdotool type --delay 20 "Ferri Edilizia"
clienti_menu_keys
answer_box Return inserire    # " Vuoi Inserire questo Cliente ?"
answer_box Return aggiunto    # "Cliente Aggiunto"
xdotool key ctrl+z
answer_box Return annullata   # "Aggiunta annullata: ..."
xdotool key ctrl+y
answer_box Return ripetuta    # "Aggiunta ripetuta: ..."
esci

"$python" - "$work/Archivio.xls" <<'PY' || fail "registro non atteso (xlrd)"
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
clienti = book.sheet_by_name("Clienti")
names = [clienti.cell_value(r, 0) for r in range(1, clienti.nrows)]
assert names == ["Bianchi Arredamenti", "Caffè Esposito", "Ferri Edilizia",
                 "Gallo Maria Grazia"], names
assert str(clienti.cell_value(3, 1)) in ("6", "6.0"), clienti.cell_value(3, 1)
counter = book.sheet_by_name("Codici").cell_value(1, 0)
assert str(counter) in ("6", "6.0"), counter
PY
