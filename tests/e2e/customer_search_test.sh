#!/usr/bin/env bash
# "Cerca Cliente..." in the built program under Xvfb, driven with xdotool: Ctrl+F opens the
# search window, a word from the middle of a name finds its customer, Enter loads it, its note
# is changed and "Modifica" writes it; the window, left open, is brought back with Ctrl+F, a
# telephone number typed without its spaces finds the second of two customers sharing a name,
# which is loaded and modified the same way. After "Esci" python3-xlrd must find those two
# rows changed in their note alone, every other cell of the archive as it was, kind included.
# Usage: customer_search_test.sh PROGRAM TOOL FIXTURES_DIR
set -euo pipefail
program=$1
python=/usr/bin/python3

source "$(dirname "$0")/lib.sh"
app_pid=""

# The archive, written by python3-xlwt, its customers already in the order of the sort: two
# "Rossi Mario" in different towns, and a third customer whose telephone differs from the
# second Rossi's in its last digit only. C.A.P. and Partita IVA are texts that look like
# numbers, Cellullare numbers, Data dates.
"$python" "$(dirname "$0")/xlwt_archive.py" "$work/Archivio.xls"
cp "$work/Archivio.xls" "$work/originale.xls"
cp "$program" "$work/clivara"

start_xvfb

start_program
search=""

# Ctrl+F in the main window; waits for the search window and gives it the focus. Its line
# holds the focus with its text selected, so that typing replaces the last search.
open_search() {
    focus_main
    xdotool key ctrl+f
    local window=""
    for _ in $(seq 100); do
        window=$(xdotool search --all --onlyvisible --pid "$app_pid" --name '^Cerca Cliente$' 2>/dev/null |
            head -n 1) || true
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || fail "la finestra Cerca Cliente non compare"
    [ -z "$search" ] || [ "$search" = "$window" ] || fail "una seconda finestra Cerca Cliente"
    search=$window
    xdotool windowfocus --sync "$search"
    sleep 0.3
}
# Searches for $1 and loads the first match with Enter; then writes $2 as the note (the tenth
# field after the name, which holds the main window's focus) and answers "Modifica". With a
# third argument, a customer of the same name exists: its warning (default No) is answered
# "Sì" with its mnemonic before the usual question.
search_and_modify_note() {
    open_search
    xdotool type --delay 20 "$1"
    sleep 0.3
    xdotool key Return
    focus_main
    local i
    for ((i = 0; i < 10; i++)); do xdotool key Tab; done
    xdotool key ctrl+a
    xdotool type --delay 20 "$2"
    clienti_menu 2
    [ $# -lt 3 ] || answer_box alt+s   # "Esiste già un altro cliente con la stessa Ragione Sociale …"
    answer_box Return   # "Si voler Modificare il Cliente Selezionato ?"
    answer_box Return   # "Cliente Modificato"
}

# 1. A word from the middle of a name.
search_and_modify_note "centrale" "Chiuso il lunedi"
# 2. The search window, still open, again with Ctrl+F: the telephone "031 26 45 78" typed
# without its spaces, which only the second "Rossi Mario" has; the first one's name makes the
# program warn of a duplicate before it asks.
search_and_modify_note "031264578" "Preferisce la posta elettronica" omonimo
[ -n "$(xdotool search --all --onlyvisible --pid "$app_pid" --name '^Cerca Cliente$' 2>/dev/null)" ] ||
    fail "la finestra Cerca Cliente si è chiusa"

# 3. "Esci": the first menu, its only entry.
focus_main
xdotool key alt
sleep 0.3
xdotool key Down Return
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "il programma non è terminato con Esci"
wait "$app_pid" || fail "il programma è terminato con un errore"
pids=()

"$python" - "$work/Archivio.xls" "$work/originale.xls" <<'EOF' || fail "registro non atteso (xlrd)"
import sys, xlrd

def cells(sheet):
    return [[(sheet.cell_type(r, c), sheet.cell_value(r, c)) for c in range(sheet.ncols)]
            for r in range(sheet.nrows)]

saved = xlrd.open_workbook(sys.argv[1])
original = xlrd.open_workbook(sys.argv[2])
assert saved.sheet_names() == ["Clienti", "Codici"], saved.sheet_names()
got = cells(saved.sheet_by_name("Clienti"))
expected = cells(original.sheet_by_name("Clienti"))
# The note (column L) of Bar Centrale (row 2) and of the second Rossi Mario (row 5).
expected[1][11] = (xlrd.XL_CELL_TEXT, "Chiuso il lunedi")
expected[4][11] = (xlrd.XL_CELL_TEXT, "Preferisce la posta elettronica")
assert len(got) == len(expected), (len(got), got)
for r, (g, e) in enumerate(zip(got, expected), start=1):
    assert len(g) == len(e), ("row", r, g, e)
    for c, (gc, ec) in enumerate(zip(g, e), start=1):
        assert gc == ec, ("row", r, "column", c, gc, ec)
assert cells(saved.sheet_by_name("Codici")) == cells(original.sheet_by_name("Codici"))
EOF
echo "ok"
