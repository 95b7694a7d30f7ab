#!/usr/bin/env bash
# "Stampa Etichette" and "Stampa Elenco Clienti" in the built program under Xvfb, driven with
# xdotool: each entry of the "Clienti" menu asks its small question first (a search text is
# typed for the labels, Enter takes every customer for the list), then opens its print preview
# as large as the screen; Escape closes it and the window goes on. After "Esci" the archive,
# only printed, is byte for byte as it was.
# Usage: print_labels_test.sh PROGRAM TOOL FIXTURES_DIR
set -euo pipefail
program=$1
tool=$2

source "$(dirname "$0")/lib.sh"
app_pid=""

"$tool" sample "$work/Archivio.xls" >/dev/null
cp "$work/Archivio.xls" "$work/originale.xls"
cp "$program" "$work/clivara"

start_xvfb

start_program

# The program's visible window whose title matches, once it shows (empty if it does not).
wait_window() {
    local found=""
    for _ in $(seq 150); do
        found=$(xdotool search --all --onlyvisible --pid "$app_pid" --name "$1" 2>/dev/null |
            head -n 1) || true
        [ -n "$found" ] && break
        sleep 0.1
    done
    echo "$found"
}
# Waits until no visible window of the program matches the title.
wait_gone() {
    for _ in $(seq 100); do
        [ -z "$(xdotool search --all --onlyvisible --pid "$app_pid" --name "$1" 2>/dev/null)" ] &&
            return 0
        sleep 0.1
    done
    fail "la finestra $1 non si chiude"
}
# The preview whose title ends with the document's name: larger than the main window, then
# closed with Escape.
check_preview() {
    local preview width
    preview=$(wait_window "$1\$")
    [ -n "$preview" ] || fail "l'anteprima $1 non compare"
    sleep 1
    width=$(xdotool getwindowgeometry "$preview" | awk -F'[ x]+' '/Geometry/ {print $3}')
    [ "${width:-0}" -ge 1000 ] || fail "l'anteprima $1 è larga solo $width"
    xdotool windowfocus --sync "$preview"
    sleep 0.3
    xdotool key Escape
    wait_gone "$1\$"
}

# 1. The labels of the customers in Milano, on the default sheet.
clienti_menu 6
dialog=$(wait_window '^Stampa Etichette$')
[ -n "$dialog" ] || fail "la domanda di Stampa Etichette non compare"
xdotool windowfocus --sync "$dialog"
sleep 0.3
xdotool type --delay 50 "milano"
xdotool key Return
check_preview "Etichette"

# 2. The list of every customer.
clienti_menu 5
dialog=$(wait_window '^Stampa Elenco Clienti$')
[ -n "$dialog" ] || fail "la domanda di Stampa Elenco Clienti non compare"
xdotool windowfocus --sync "$dialog"
sleep 0.3
xdotool key Return
check_preview "Elenco Clienti"

# 3. "Esci": the first menu, its only entry.
focus_main
xdotool key alt
sleep 0.3
xdotool key Down Return
for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "il programma non è terminato con Esci"
wait "$app_pid" || fail "il programma è terminato con un errore"
pids=()
cmp -s "$work/Archivio.xls" "$work/originale.xls" || fail "l'archivio è cambiato"
echo "ok"
