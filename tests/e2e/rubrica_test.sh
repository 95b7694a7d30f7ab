#!/usr/bin/env bash
# "Rubrica" in the built program under Xvfb, driven with xdotool: the entry of the menu bar
# opens the table of every customer, two words typed in its filter leave one customer, Enter
# loads it into the main window, its note is changed and "Modifica" writes it; the Rubrica,
# left open, takes Ctrl+F to its filter again, a telephone number typed without its spaces
# finds another customer, which is loaded and modified the same way; Esc closes the Rubrica.
# After "Esci" python3-xlrd must find those two rows changed in their note alone, every other
# cell of the archive as it was, kind included.
# Usage: rubrica_test.sh PROGRAM TOOL FIXTURES_DIR
set -euo pipefail
program=$1
python=/usr/bin/python3

source "$(dirname "$0")/lib.sh"
app_pid=""

# The archive, written by python3-xlwt, its customers already in the order of the sort.
"$python" "$(dirname "$0")/xlwt_archive.py" "$work/Archivio.xls"
cp "$work/Archivio.xls" "$work/originale.xls"
cp "$program" "$work/clivara"

start_xvfb

start_program

rubrica=""
window_named() {
    local window=""
    for _ in $(seq 100); do
        window=$(xdotool search --all --onlyvisible --pid "$app_pid" --name "$1" 2>/dev/null |
            head -n 1) || true
        [ -n "$window" ] && break
        sleep 0.1
    done
    echo "$window"
}
# "Rubrica", the second entry of the menu bar, the first time; then Ctrl+F in the Rubrica
# itself, which goes to its filter with the text selected, so that typing replaces it.
open_rubrica() {
    if [ -z "$rubrica" ]; then
        focus_main
        xdotool key alt
        sleep 0.3
        xdotool key Right Return
        rubrica=$(window_named '^Rubrica - Clivara 2008$')
        [ -n "$rubrica" ] || fail "la finestra Rubrica non compare"
    fi
    xdotool windowfocus --sync "$rubrica"
    sleep 0.3
    xdotool key ctrl+f
    sleep 0.2
}
# Filters with $1 and loads the first line with Enter; then writes $2 as the note (the tenth
# field after the name, which holds the main window's focus) and answers "Modifica".
filter_and_modify_note() {
    open_rubrica
    xdotool type --delay 20 "$1"
    sleep 0.3
    xdotool key Return
    focus_main
    local i
    for ((i = 0; i < 10; i++)); do xdotool key Tab; done
    xdotool key ctrl+a
    xdotool type --delay 20 "$2"
    clienti_menu 2
    answer_box Return   # "Si voler Modificare il Cliente Selezionato ?"
    answer_box Return   # "Cliente Modificato"
}

# 1. Two words of one customer: its name and its town.
filter_and_modify_note "ferrari bergamo" "Chiuso il lunedi"
# 2. The Rubrica, still open: "031 264 579" typed without its spaces, which only Verdi Lucia
# has (the second Rossi Mario's differs in its last digit).
[ -n "$(window_named '^Rubrica - Clivara 2008$')" ] || fail "la Rubrica si è chiusa"
filter_and_modify_note "031264579" "Preferisce la posta elettronica"
# 3. Esc closes the Rubrica.
xdotool windowfocus --sync "$rubrica"
sleep 0.3
xdotool key Escape
for _ in $(seq 50); do
    xdotool search --all --onlyvisible --pid "$app_pid" --name '^Rubrica - Clivara 2008$' \
        >/dev/null 2>&1 || break
    sleep 0.1
done
xdotool search --all --onlyvisible --pid "$app_pid" --name '^Rubrica - Clivara 2008$' \
    >/dev/null 2>&1 && fail "Esc non chiude la Rubrica"

# 4. "Esci": the first menu, its only entry.
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
got = cells(saved.sheet_by_name("Clienti"))
expected = cells(original.sheet_by_name("Clienti"))
# The note (column L) of Ferrari Impianti (row 3) and of Verdi Lucia (row 6).
expected[2][11] = (xlrd.XL_CELL_TEXT, "Chiuso il lunedi")
expected[5][11] = (xlrd.XL_CELL_TEXT, "Preferisce la posta elettronica")
assert got == expected, got
assert cells(saved.sheet_by_name("Codici")) == cells(original.sheet_by_name("Codici"))
EOF
echo "ok"
