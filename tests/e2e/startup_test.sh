#!/usr/bin/env bash
# Start-up and shut-down of the built program under Xvfb, driven with xdotool: a sample
# archive opens with its locks beside it, a second start is offered the read-only opening
# ("Annulla" ends it, the read-only window's "Esci" ends at once), a customer is chosen,
# the fields cleared, the close box refused, "Esci" saves and removes the locks; SIGTERM also
# saves; a damaged archive and a missing one get their message, and the program ends without
# touching anything.
# Usage: startup_test.sh PROGRAM TOOL FIXTURES_DIR
set -euo pipefail
program=$1
tool=$2
python=/usr/bin/python3

source "$(dirname "$0")/lib.sh"
start_xvfb

# Starts the program in folder $1 (log $2); sets started_pid.
start_program() {
    (cd "$1" && LC_ALL=C.UTF-8 exec ./clivara >"$2" 2>&1) &
    started_pid=$!
    pids+=("$started_pid")
}
# Waits for process $1 to end; its exit code in ended_code.
wait_end() {
    for _ in $(seq 100); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$1" 2>/dev/null && fail "il programma $1 non è terminato"
    ended_code=0
    wait "$1" || ended_code=$?
}
# Answers the message box $2 of process $1 with Return, until the process has ended (a key
# sent before the box takes the focus is lost, so it is sent again).
answer_and_wait_end() {
    local attempt
    for attempt in 1 2 3 4 5; do
        xdotool windowfocus --sync "$2" 2>/dev/null || true
        sleep 0.3
        xdotool key Return
        for _ in $(seq 30); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
        kill -0 "$1" 2>/dev/null || break
    done
    wait_end "$1"
}
# Waits for a visible window of process $1 titled "Clivara 2008" other than $2; prints it.
find_window() {
    local window=""
    for _ in $(seq 200); do
        window=$(xdotool search --all --onlyvisible --pid "$1" --name '^Clivara 2008$' 2>/dev/null |
            grep -vx "${2:-none}" | head -n 1) || true
        [ -n "$window" ] && break
        sleep 0.1
    done
    [ -n "$window" ] || fail "nessuna finestra del processo $1"
    echo "$window"
}
# Sends WM_DELETE_WINDOW to a window, as a window manager's close box does.
close_box() {
    "$python" - "$1" <<'EOF'
import ctypes, sys
x = ctypes.cdll.LoadLibrary("libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]
class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                         ctypes.POINTER(Event)]
display = x.XOpenDisplay(None)
window = int(sys.argv[1])
event = Event()
event.xclient.type = 33  # ClientMessage
event.xclient.window = window
event.xclient.message_type = x.XInternAtom(display, b"WM_PROTOCOLS", 0)
event.xclient.format = 32
event.xclient.data[0] = x.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
x.XSendEvent(display, window, 0, 0, ctypes.byref(event))
x.XFlush(display)
x.XCloseDisplay(display)
EOF
}
# Names and identifiers of "Clienti" and the counter, as python3-xlrd reads them.
register() {
    "$python" - "$1" <<'EOF'
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
def text(cell):
    if cell.ctype == xlrd.XL_CELL_NUMBER and cell.value == int(cell.value):
        return str(int(cell.value))
    return str(cell.value)
clienti = book.sheet_by_name("Clienti")
for r in range(clienti.nrows):
    print(text(clienti.cell(r, 0)) + "|" + (text(clienti.cell(r, 1)) if clienti.ncols > 1 else ""))
print("contatore|" + text(book.sheet_by_name("Codici").cell(1, 0)))
EOF
}

# 1. The sample archive, the program beside it.
folder="$work/demo"
mkdir "$folder"
cp "$program" "$folder/clivara"
"$tool" sample "$folder/Archivio.xls" || fail "clivara-archivio sample non riuscito"
cp "$folder/Archivio.xls" "$work/originale.xls"
register "$work/originale.xls" >"$work/originale.txt"
[ "$(wc -l <"$work/originale.txt")" -ge 4 ] || fail "l'archivio di prova ha troppo pochi clienti"

start_program "$folder" "$work/primo.log"
first=$started_pid
main=$(find_window "$first")
[ -e "$folder/.Archivio.xls.clivara-lock" ] || fail "manca il blocco del programma"
grep -q '^Clivara 2008,' "$folder/.~lock.Archivio.xls#" || fail "manca il blocco per LibreOffice"

# 2. A second start on the same archive: the box offers the read-only opening; Escape
# ("Annulla") ends it; the first goes on.
start_program "$folder" "$work/secondo.log"
second=$started_pid
box=$(find_window "$second")
for attempt in 1 2 3 4 5; do
    xdotool windowfocus --sync "$box" 2>/dev/null || true
    sleep 0.3
    xdotool key Escape
    for _ in $(seq 30); do kill -0 "$second" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$second" 2>/dev/null || break
done
wait_end "$second"
[ "$ended_code" -ne 0 ] || fail "«Annulla» doveva terminare con un errore"
kill -0 "$first" 2>/dev/null || fail "il primo programma è terminato"
cmp -s "$folder/Archivio.xls" "$work/originale.xls" || fail "il secondo avvio ha toccato l'archivio"

# 2b. Again, Return ("Apri in sola lettura", the default): the read-only window, whose "Esci"
# ends at once; the first program's lock and the archive stay as they were.
start_program "$folder" "$work/sola-lettura.log"
reader=$started_pid
box=$(find_window "$reader")
readonly_window=""
for attempt in 1 2 3 4 5; do
    xdotool windowfocus --sync "$box" 2>/dev/null || true
    sleep 0.3
    xdotool key Return
    for _ in $(seq 30); do
        readonly_window=$(xdotool search --all --onlyvisible --pid "$reader" \
            --name '^Clivara 2008 - sola lettura$' 2>/dev/null | head -n 1) || true
        [ -n "$readonly_window" ] && break 2
        sleep 0.1
    done
done
[ -n "$readonly_window" ] || fail "manca la finestra «Clivara 2008 - sola lettura»"
if [ -n "${CLIVARA_SCREENSHOT_DIR:-}" ]; then
    sleep 1
    import -window root "$CLIVARA_SCREENSHOT_DIR/sola-lettura.png"
fi
for attempt in 1 2 3; do
    xdotool windowfocus --sync "$readonly_window" 2>/dev/null || true
    sleep 0.3
    xdotool key Escape alt
    sleep 0.3
    xdotool key Down Return
    for _ in $(seq 30); do kill -0 "$reader" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$reader" 2>/dev/null || break
done
wait_end "$reader"
[ "$ended_code" -eq 0 ] || fail "Esci in sola lettura: codice $ended_code"
kill -0 "$first" 2>/dev/null || fail "il primo programma è terminato"
[ -e "$folder/.Archivio.xls.clivara-lock" ] || fail "la sola lettura ha tolto il blocco dell'altro"
cmp -s "$folder/Archivio.xls" "$work/originale.xls" || fail "la sola lettura ha toccato l'archivio"
[ ! -e "$folder/Backup" ] || fail "la sola lettura ha fatto una copia di sicurezza"

focus_main() { xdotool windowfocus --sync "$main"; sleep 0.3; }

# 3. A customer chosen with the arrow keys on the list (from the name field, Shift+Tab).
focus_main
xdotool key shift+Tab Down Down
sleep 0.3
# "Pulisci Campi": the fourth entry of the third menu, "Clienti".
xdotool key alt
sleep 0.3
xdotool key Right Right Down Down Down Down Return
sleep 0.3

# 4. The close box is refused.
close_box "$main"
sleep 1
kill -0 "$first" 2>/dev/null || fail "il programma si è chiuso dalla casella di chiusura"
xdotool search --all --onlyvisible --pid "$first" --name '^Clivara 2008$' | grep -qx "$main" ||
    fail "la finestra è sparita"

# 5. "Esci": the first menu, its only entry (again if a key was lost).
for attempt in 1 2 3; do
    focus_main
    xdotool key Escape alt
    sleep 0.3
    xdotool key Down Return
    for _ in $(seq 30); do kill -0 "$first" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$first" 2>/dev/null || break
done
wait_end "$first"
[ "$ended_code" -eq 0 ] || fail "Esci è terminato con il codice $ended_code"
[ ! -e "$folder/.Archivio.xls.clivara-lock" ] || fail "il blocco del programma è rimasto"
[ ! -e "$folder/.~lock.Archivio.xls#" ] || fail "il blocco per LibreOffice è rimasto"
register "$folder/Archivio.xls" >"$work/salvato.txt" || fail "xlrd non legge l'archivio salvato"
diff "$work/originale.txt" "$work/salvato.txt" >&2 || fail "il registro salvato è diverso"

# 6. SIGTERM saves as "Esci" does and removes the locks.
start_program "$folder" "$work/terzo.log"
third=$started_pid
find_window "$third" >/dev/null
kill -TERM "$third"
wait_end "$third"
[ "$ended_code" -eq 0 ] || fail "SIGTERM: codice $ended_code"
[ ! -e "$folder/.Archivio.xls.clivara-lock" ] || fail "SIGTERM: il blocco è rimasto"
register "$folder/Archivio.xls" >"$work/salvato2.txt" || fail "SIGTERM: archivio illeggibile"
diff "$work/originale.txt" "$work/salvato2.txt" >&2 || fail "SIGTERM: registro diverso"

# 7. A damaged archive and a missing one: a message, Return, the end, nothing touched.
for case in danneggiato mancante; do
    folder="$work/$case"
    mkdir "$folder"
    cp "$program" "$folder/clivara"
    if [ "$case" = danneggiato ]; then
        head -c 4096 /dev/urandom >"$folder/Archivio.xls"
        cp "$folder/Archivio.xls" "$work/danneggiato.xls"
    fi
    start_program "$folder" "$work/$case.log"
    pid=$started_pid
    box=$(find_window "$pid")
    answer_and_wait_end "$pid" "$box"
    [ "$ended_code" -ne 0 ] || fail "$case: doveva terminare con un errore"
    if [ "$case" = danneggiato ]; then
        cmp -s "$folder/Archivio.xls" "$work/danneggiato.xls" || fail "archivio danneggiato toccato"
    fi
    [ "$(ls -A "$folder")" = "$(ls -A "$folder" | grep -x -e clivara -e Archivio.xls)" ] ||
        fail "$case: file lasciati nella cartella: $(ls -A "$folder")"
done
echo "OK"
