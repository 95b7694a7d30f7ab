#!/usr/bin/env bash
# Confirmed changes survive ends other than "Esci", on the built program under Xvfb driven
# with xdotool. A customer is added and confirmed, then the program is (a) killed with
# SIGKILL or (b) loses its display (xdotool windowkill). After (a) the next start asks, Return
# takes the changes back and "Esci" saves; after (b) the program saved on its way out. Either
# way the new customer is in the file exactly once, the others as they were, the counter one
# higher, and no lock or journal is left. Also: answering No keeps the changes in a dated copy
# and leaves the archive untouched; an archive changed on disk meanwhile gets nothing merged.
# Usage: recovery_test.sh PROGRAM TOOL FIXTURES_DIR
set -euo pipefail
program=$1
tool=$2
python=/usr/bin/python3

source "$(dirname "$0")/lib.sh"
start_xvfb

# Prepares folder $1 with the program and the sample archive.
prepare() {
    mkdir -p "$1"
    cp "$program" "$1/clivara"
    "$tool" sample "$1/Archivio.xls" >/dev/null
    cp "$1/Archivio.xls" "$1/originale.xls"
}
# Starts the program in folder $1; sets app_pid.
start_in() {
    (cd "$1" && LC_ALL=C.UTF-8 exec ./clivara >>"$1.log" 2>&1) &
    app_pid=$!
    pids+=("$app_pid")
}
# Waits for the main window of app_pid; sets main.
wait_main() {
    main=$(timeout 20 xdotool search --all --sync --onlyvisible --pid "$app_pid" --name '^Clivara 2008$' |
        head -n 1) || fail "la finestra non compare"
}
# The id of a visible message box of app_pid (any window of it other than main), or empty.
find_box() {
    local box=""
    for _ in $(seq 100); do
        box=$(xdotool search --all --onlyvisible --pid "$app_pid" --name 'Clivara 2008' 2>/dev/null |
            grep -vx "${main:-none}" | head -n 1) || true
        [ -n "$box" ] && break
        sleep 0.1
    done
    echo "$box"
}
# Answers the next message box with key $1 and waits for it to go.
answer_box() {
    local box
    box=$(find_box)
    [ -n "$box" ] || fail "nessuna finestra di messaggio"
    xdotool windowfocus --sync "$box"
    sleep 0.3
    xdotool key "$1"
    for _ in $(seq 100); do
        xdotool search --all --onlyvisible --pid "$app_pid" --name '.' 2>/dev/null | grep -qx "$box" || return 0
        sleep 0.1
    done
    fail "la finestra di messaggio non si chiude"
}
# A start-up box, shown before the main window.
answer_startup_box() {
    main=""
    answer_box "$1"
}
add_customer() {
    xdotool windowfocus --sync "$main"
    sleep 0.3
    xdotool type --delay 20 "$1"
    xdotool key alt
    sleep 0.3
    xdotool key Right Right Down Return
    answer_box Return # " Vuoi Inserire questo Cliente ?"
    answer_box Return # "Cliente Aggiunto"
}
esci() {
    xdotool windowfocus --sync "$main"
    sleep 0.3
    xdotool key alt
    sleep 0.3
    xdotool key Down Return
    wait_gone
}
wait_gone() {
    for _ in $(seq 100); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$app_pid" 2>/dev/null && fail "il programma non è terminato"
    wait "$app_pid" 2>/dev/null || true
}
kill_hard() {
    kill -KILL "$app_pid"
    wait_gone
}
# The register of file $2 compared with that of file $1 plus the customer named $3 (none
# when $3 is empty): every other row as it was, the new one once, the counter one higher.
check_register() {
    "$tool" dump "$1" >"$work/before.json"
    "$tool" dump "$2" >"$work/after.json"
    "$python" - "$work/before.json" "$work/after.json" "$3" <<'PY' || fail "registro non atteso in $2"
import json, sys
before, after, name = json.load(open(sys.argv[1])), json.load(open(sys.argv[2])), sys.argv[3]
old, new = before["clienti"][1:], after["clienti"][1:]
key = lambda row: row[0]
added = [row for row in new if row[0] == name] if name else []
rest = [row for row in new if not name or row[0] != name]
assert sorted(rest, key=key) == sorted(old, key=key), (rest, old)
if name:
    assert len(added) == 1, added
    assert added[0][1] == str(int(before["counter"]) + 1), (added, before["counter"])
    assert after["counter"] == str(int(before["counter"]) + 1), after["counter"]
else:
    assert after["counter"] == before["counter"]
PY
}
no_leftovers() {
    local left
    left=$(cd "$1" && ls -A | grep -E 'lock|clivara-recupero' || true)
    [ -z "$left" ] || fail "file rimasti in $1: $left"
}

# (a) SIGKILL after the confirmed addition; the next start asks, Return takes it back.
prepare "$work/a"
start_in "$work/a"; wait_main
add_customer "Ferri Edilizia"
kill_hard
cmp -s "$work/a/Archivio.xls" "$work/a/originale.xls" || fail "(a) l'archivio è cambiato prima di Esci"
# One journal per computer: ".Archivio.xls.<computer>.clivara-recupero".
compgen -G "$work/a/.Archivio.xls.*.clivara-recupero" >/dev/null || fail "(a) nessun dato di recupero"
start_in "$work/a"
answer_startup_box Return # the recovery question: Yes
wait_main
esci
check_register "$work/a/originale.xls" "$work/a/Archivio.xls" "Ferri Edilizia"
no_leftovers "$work/a"
ls "$work/a/Backup/"Archivio-*.xls >/dev/null 2>&1 || fail "(a) nessuna copia di sicurezza"

# (b) The display connection breaks: the program saves on its way out and unlocks.
prepare "$work/b"
start_in "$work/b"; wait_main
add_customer "Ferri Edilizia"
xdotool windowkill "$main"
wait_gone
grep -q "X11 connection broke" "$work/b.log" || fail "(b) la connessione al display non si è interrotta"
check_register "$work/b/originale.xls" "$work/b/Archivio.xls" "Ferri Edilizia"
no_leftovers "$work/b"
start_in "$work/b"; wait_main # no question: nothing was left to recover
esci
check_register "$work/b/originale.xls" "$work/b/Archivio.xls" "Ferri Edilizia"
no_leftovers "$work/b"

# (c) No: the archive stays as it is and the changes are kept in a dated copy beside it.
prepare "$work/c"
start_in "$work/c"; wait_main
add_customer "Ferri Edilizia"
kill_hard
start_in "$work/c"
answer_startup_box Escape # No
answer_startup_box Return # where the changes were kept
wait_main
esci
cmp -s "$work/c/Archivio.xls" "$work/c/originale.xls" || fail "(c) l'archivio è cambiato"
copies=("$work/c/"Archivio-recupero-*.xls)
[ ${#copies[@]} -eq 1 ] && [ -f "${copies[0]}" ] || fail "(c) nessuna copia datata"
check_register "$work/c/originale.xls" "${copies[0]}" "Ferri Edilizia"
no_leftovers "$work/c"

# (d) The archive changed on disk after the killed run opened it: nothing is merged.
prepare "$work/d"
start_in "$work/d"; wait_main
add_customer "Ferri Edilizia"
kill_hard
rm "$work/d/Archivio.xls"
"$tool" new "$work/d/Archivio.xls" >/dev/null # what the office saved meanwhile
cp "$work/d/Archivio.xls" "$work/d/ufficio.xls"
start_in "$work/d"
answer_startup_box Return # told, nothing to answer
wait_main
esci
cmp -s "$work/d/Archivio.xls" "$work/d/ufficio.xls" || fail "(d) l'archivio dell'ufficio è cambiato"
copies=("$work/d/"Archivio-recupero-*.xls)
[ -f "${copies[0]}" ] || fail "(d) nessuna copia del registro recuperato"
check_register "$work/d/originale.xls" "${copies[0]}" "Ferri Edilizia"
no_leftovers "$work/d"
echo "ok"
