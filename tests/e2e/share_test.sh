#!/usr/bin/env bash
# Two desks on the office's network folder: a Samba share on this machine mounted twice
# through smbnetfs, as two PCs see it (each "PC" with its own host name). First hundreds of
# desks starting at the same moment, one on each "PC": never do two hold the desk lock at
# once, and a released lock never stays behind to shut the next one out. Then the real
# program, run from the share beside its archive under Xvfb and driven with xdotool:
#  1. another desk's save while this one works ("Apri comunque" on pc2): at "Esci" the merge
#     box, and the archive holds the customers of both desks;
#  2. a save while pc2 holds the archive open: "Salvataggio in corso…", the save succeeds
#     once the reader lets go, with exactly one new backup;
#  3. a desk on pc2 killed: pc1 is offered "Prendi l'archivio" and the dead desk's changes;
#  4. pc2 read-only while pc1 works: pc1's save shows up on pc2, which is then told once
#     that the archive is free.
# Skipped, with the reason, where the packages, root, UTS namespaces or FUSE are missing.
# Usage: share_test.sh PROGRAM TOOL FIXTURES_DIR (desk_lock_race in CLIVARA_DESK_LOCK_RACE)
set -euo pipefail
program=$1
tool=$2
race=${CLIVARA_DESK_LOCK_RACE:?}
rounds=${CLIVARA_SHARE_ROUNDS:-100}  # 0.7 s each
python=/usr/bin/python3

source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/share_lib.sh"
chmod 755 "$work"  # the server's account goes through it to its share
# The programs first (killed: a program ending normally would save onto the share), then the
# mounts and the server, then Xvfb and the scratch folder.
share_cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    stop_share
    e2e_cleanup
}
trap share_cleanup EXIT

if [ "$(id -u)" -ne 0 ]; then
    echo "SALTATO: la cartella condivisa di prova richiede root (smbd, useradd)"
    exit 0
fi
if ! why=$(share_available); then
    echo "SALTATO: $why"
    exit 0
fi
# A machine whose FUSE mounts are refused (a container without the right) cannot hold the
# share: that is the machine, not the program.
if ! start_share "$work/share"; then
    echo "SALTATO: la cartella condivisa non parte su questa macchina (server o mount rifiutati)"
    exit 0
fi
"$tool" sample "$share_dir/Archivio.xls" >/dev/null || fail "clivara-archivio sample non riuscito"
chown ufficio "$share_dir/Archivio.xls"

# The race: both desks wait for the same moment, the winner holds the lock 200 ms.
single=0
for round in $(seq "$rounds"); do
    at=$(($(date +%s%N) + 150000000))
    "$race" "$pc1/Archivio.xls" "$at" 200 >"$work/pc1.out" &
    first=$!
    unshare --uts sh -c 'hostname pc2 && exec "$0" "$@"' "$race" "$pc2/Archivio.xls" "$at" 200 \
        >"$work/pc2.out" &
    second=$!
    wait "$first" "$second"
    read -r w1 from1 to1 <"$work/pc1.out" || true
    read -r w2 from2 to2 <"$work/pc2.out" || true
    if [ "$w1" = vinto ] && [ "$w2" = vinto ]; then
        [ "$from1" -ge "$to2" ] || [ "$from2" -ge "$to1" ] ||
            fail "giro $round: i due computer hanno preso il blocco insieme"
    elif [ "$w1" != vinto ] && [ "$w2" != vinto ]; then
        cat "$share_dir/.Archivio.xls.clivara-lock/holder" >&2 || true
        fail "giro $round: nessuno dei due ha preso il blocco ($w1 / $w2)"
    else
        single=$((single + 1))
    fi
done
[ ! -e "$share_dir/.Archivio.xls.clivara-lock" ] || fail "il blocco è rimasto dopo l'ultimo giro"
echo "OK: $rounds partenze simultanee da due computer, nessuna doppia vittoria ($single vinte da uno solo, le altre una dopo l'altra)"

# --- The program on the share -----------------------------------------------------------
command -v xclip >/dev/null || fail "manca xclip (scripts/deps.sh test)"
start_xvfb -ac
# The program lives beside the archive. Copied through a mount, so that the share marks it
# executable (its modes come from DOS attributes); without its debugging data it loads faster.
objcopy --strip-debug "$program" "$work/clivara"
cp "$work/clivara" "$pc1/clivara"
lock="$share_dir/.Archivio.xls.clivara-lock"
box_titles='Clivara 2008|Scheda Cliente 2008'

# Starts the program on "PC" $1 (pc1 or pc2, each with that host name) from its mount; its
# output in $work/$2.log. Sets app_pid; main is empty until wait_main finds the window.
start_desk() {
    local folder=$pc1
    [ "$1" = pc1 ] || folder=$pc2
    (cd "$folder" && LC_ALL=C.UTF-8 exec unshare --uts sh -c 'hostname "$0" && exec ./clivara' \
        "$1" >"$work/$2.log" 2>&1) &
    app_pid=$!
    pids+=("$app_pid")
    main=""
}
# Waits for the main window titled $1 (default "Clivara 2008"); sets main.
wait_main() {
    main=$(timeout 30 xdotool search --all --sync --onlyvisible --pid "$app_pid" \
        --name "^${1:-Clivara 2008}\$" | head -n 1) || fail "la finestra «${1:-Clivara 2008}» non compare"
    focus_main
}
# Types a name into the new entry and adds the customer ("Aggiungi Cliente").
add_customer() {
    focus_main
    xdotool type --delay 20 "$1"
    clienti_menu 1
    answer_box Return "Vuoi Inserire questo Cliente"
    answer_box Return "Cliente Aggiunto"
}
# Chooses "Esci" (the first menu's only entry).
choose_esci() {
    focus_main
    xdotool key Escape alt
    sleep 0.3
    xdotool key Down Return
}
# Waits up to $2 tenths of a second (default 150) for process $1 to end; its code must be 0.
wait_end() {
    for _ in $(seq "${2:-150}"); do kill -0 "$1" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$1" 2>/dev/null && fail "il programma $1 non è terminato"
    wait "$1" || fail "il programma $1 è terminato con il codice $?"
}
# A visible window of app_pid other than main titled "Clivara 2008" within $1 tenths of a
# second; prints it, or nothing.
other_window() {
    local window=""
    for _ in $(seq "$1"); do
        window=$(xdotool search --all --onlyvisible --pid "$app_pid" --name "$box_titles" \
            2>/dev/null | grep -vx "${main:-none}" | head -n 1) || true
        [ -n "$window" ] && break
        sleep 0.1
    done
    echo "$window"
}
# Waits for a box (the start-up's, before the main window) named $1 in the failure.
wait_box() { [ -n "$(other_window 200)" ] || fail "nessuna finestra di messaggio ($1)"; }
# Screenshot for a person to look at, where CLIVARA_SCREENSHOT_DIR asks for them.
screenshot() {
    [ -z "${CLIVARA_SCREENSHOT_DIR:-}" ] || import -window root "$CLIVARA_SCREENSHOT_DIR/$1.png"
}
# The register of the archive on the share as python3-xlrd reads it: "ID|name" lines and
# the counter's, sorted; every ID once.
register() {
    "$python" - "$share_dir/Archivio.xls" <<'EOF' | LC_ALL=C sort || fail "xlrd non legge l'archivio salvato"
import collections, sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
def text(cell):
    if cell.ctype == xlrd.XL_CELL_NUMBER and cell.value == int(cell.value):
        return str(int(cell.value))
    return str(cell.value)
clienti = book.sheet_by_name("Clienti")
rows = [(text(clienti.cell(r, 1)), text(clienti.cell(r, 0))) for r in range(1, clienti.nrows)]
twice = [i for i, n in collections.Counter(i for i, _ in rows).items() if n > 1]
assert not twice, "ID ripetuti: %s" % twice
for row in rows:
    print("|".join(row))
print("contatore|" + text(book.sheet_by_name("Codici").cell(1, 0)))
EOF
}
# The register expected: that of file $1 plus the "ID|name" lines given, counter $2.
expected_register() {
    local before=$1 counter=$2
    shift 2
    { grep -v '^contatore|' "$before"; printf '%s\n' "$@" "contatore|$counter"; } | LC_ALL=C sort
}
check_register() {
    register >"$work/now.txt"
    diff "$1" "$work/now.txt" >&2 || fail "$2: registro non atteso"
}
# Nothing of a desk left beside the archive: no lock, no journal.
no_leftovers() {
    local left
    left=$(ls -A "$share_dir" | grep -E 'lock|clivara-recupero' || true)
    [ -z "$left" ] || fail "$1: file rimasti nella cartella condivisa: $left"
}
backups() { ls "$share_dir/Backup" 2>/dev/null | wc -l; }

register >"$work/base.txt"
counter=$(sed -n 's/^contatore|//p' "$work/base.txt")

# 1. Desk A on pc1 opens the archive; desk B on pc2 is told that pc1 holds it and chooses
# "Apri comunque" (after the default "Apri in sola lettura"). Each adds a customer; B leaves
# first, then A's "Esci" finds B's save, merges onto it and says so in one box.
start_desk pc1 a1
wait_main
a_pid=$app_pid a_main=$main
start_desk pc2 b1
wait_box "già in uso sul computer pc1"
screenshot aggiornamento-avvio-pc2
answer_box "Tab space" "già in uso sul computer pc1"
wait_main
b_pid=$app_pid b_main=$main
app_pid=$a_pid main=$a_main
add_customer "Alfa Costruzioni"
app_pid=$b_pid main=$b_main
add_customer "Beta Trasporti"
choose_esci
wait_end "$b_pid"
[ -e "$lock/holder" ] || fail "1: l'uscita di pc2 ha tolto il blocco di pc1"
app_pid=$a_pid main=$a_main
choose_esci
[ -n "$(other_window 100)" ] || fail "1: nessun riepilogo dell'unione all'uscita di pc1"
screenshot aggiornamento-unione
answer_box Return "le modifiche riportate"
wait_end "$a_pid"
expected_register "$work/base.txt" $((counter + 2)) "$((counter + 1))|Beta Trasporti" \
    "$((counter + 2))|Alfa Costruzioni" >"$work/expected.txt"
check_register "$work/expected.txt" "1 (aggiornamento perso)"
no_leftovers 1
register >"$work/base.txt"
counter=$((counter + 2))
echo "OK: 1. il salvataggio di pc2 mentre pc1 lavorava è tenuto, quello di pc1 unito"

# 2. pc2 holds the archive open, as the office suite reading it does, for 6 s; meanwhile
# desk A's "Esci" waits under "Salvataggio in corso…" and saves once the reader lets go.
start_desk pc1 a2
wait_main
a_pid=$app_pid
add_customer "Gamma Servizi"
saved_before=$(backups)
"$python" - "$pc2/Archivio.xls" "$work/lettore" <<'EOF' &
import sys, time
with open(sys.argv[1], "rb") as held:
    held.read()
    open(sys.argv[2] + ".aperto", "w").close()
    time.sleep(6)
open(sys.argv[2] + ".chiuso", "w").close()
EOF
reader=$!
pids+=("$reader")
for _ in $(seq 100); do [ -e "$work/lettore.aperto" ] && break; sleep 0.1; done
[ -e "$work/lettore.aperto" ] || fail "2: il lettore su pc2 non apre l'archivio"
choose_esci
busy=$(other_window 30)
[ -n "$busy" ] || fail "2: nessun «Salvataggio in corso…» mentre pc2 tiene aperto l'archivio"
[ ! -e "$work/lettore.chiuso" ] || fail "2: il lettore ha chiuso prima della prova"
screenshot salvataggio-in-corso
wait_end "$a_pid" 150
[ -e "$work/lettore.chiuso" ] || fail "2: salvato mentre pc2 teneva aperto l'archivio?"
wait "$reader" || fail "2: il lettore su pc2 non è riuscito"
[ "$(backups)" -eq $((saved_before + 1)) ] ||
    fail "2: copie di sicurezza: $saved_before prima, $(backups) dopo (attesa una in più)"
expected_register "$work/base.txt" $((counter + 1)) "$((counter + 1))|Gamma Servizi" \
    >"$work/expected.txt"
check_register "$work/expected.txt" "2 (salvataggio trattenuto)"
no_leftovers 2
register >"$work/base.txt"
counter=$((counter + 1))
echo "OK: 2. il salvataggio ha atteso il lettore di pc2 ed è riuscito, con una sola copia di sicurezza"

# 3. A desk on pc2 adds a customer and is killed. Its lock is made to look silent for
# minutes (its time set back on the server's disk, as two minutes without a sign of life
# would leave it); pc1 is offered "Prendi l'archivio" (the first button, before the default
# "Apri in sola lettura"), then the recovery of pc2's change, and its "Esci" saves it.
start_desk pc2 c3
wait_main
c_pid=$app_pid
add_customer "Delta Impianti"
kill -KILL "$c_pid"
wait "$c_pid" 2>/dev/null || true
[ -e "$share_dir/.Archivio.xls.pc2.clivara-recupero" ] ||
    fail "3: nessun dato di recupero di pc2"
touch -d '-10 minutes' "$lock/holder" "$lock"
start_desk pc1 a3
wait_box "Prendi l'archivio"
screenshot presa-avvio
answer_box "shift+Tab space" "Prendi l'archivio"
wait_box "recupero delle modifiche di pc2"
screenshot presa-recupero
answer_box Return "recupero delle modifiche di pc2"
wait_main
a_pid=$app_pid
grep -q '^pc1$' "$lock/holder" || fail "3: il blocco non è di pc1: $(cat "$lock/holder")"
choose_esci
wait_end "$a_pid"
expected_register "$work/base.txt" $((counter + 1)) "$((counter + 1))|Delta Impianti" \
    >"$work/expected.txt"
check_register "$work/expected.txt" "3 (computer caduto)"
no_leftovers 3
counter=$((counter + 1))
echo "OK: 3. il blocco di pc2 caduto è stato preso da pc1, con le sue modifiche"

# 4. pc1 works; pc2 opens read-only (the default). pc1 adds a customer and leaves: pc2
# shows the new archive (its "Cerca Cliente..." finds the new customer) and says once that
# the archive is free (answered No: it stays read-only and is not asked again).
start_desk pc1 a4
wait_main
a_pid=$app_pid a_main=$main
start_desk pc2 b4
answer_box Return "già in uso: sola lettura"
wait_main "Clivara 2008 - sola lettura"
b_pid=$app_pid b_main=$main
app_pid=$a_pid main=$a_main
add_customer "Epsilon Ufficio"
choose_esci
wait_end "$a_pid"
saved=$(date +%s%N)
app_pid=$b_pid main=$b_main
free_box=$(other_window 60)
[ -n "$free_box" ] ||
    fail "4: pc2 non dice entro 6 s che l'archivio è libero (nella cartella: $(ls -A "$share_dir" | tr '\n' ' '))"
waited=$((($(date +%s%N) - saved) / 1000000))
screenshot sola-lettura-libero
answer_box Escape "l'archivio ora è libero"
[ -z "$(other_window 30)" ] || fail "4: pc2 lo dice una seconda volta"
focus_main
xdotool key ctrl+f
search=$(timeout 10 xdotool search --all --sync --onlyvisible --pid "$b_pid" --name '^Cerca Cliente$' |
    head -n 1) || fail "4: la finestra Cerca Cliente non compare su pc2"
xdotool windowfocus --sync "$search"
sleep 0.3
xdotool type --delay 20 "Epsilon"
sleep 0.3
xdotool key Return
focus_main
xdotool key ctrl+a ctrl+c
sleep 0.3
shown=$(timeout 5 xclip -o -selection clipboard 2>/dev/null || true)
[ "$shown" = "Epsilon Ufficio" ] || fail "4: pc2 mostra «$shown», non il nuovo cliente di pc1"
[ ! -e "$lock" ] || fail "4: la sola lettura ha preso il blocco"
choose_esci
wait_end "$b_pid"
no_leftovers 4
echo "OK: 4. pc2 in sola lettura ha mostrato il salvataggio di pc1 e detto una volta che l'archivio è libero (dopo $waited ms)"
