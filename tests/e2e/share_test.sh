#!/usr/bin/env bash
# Two desks on the office's network folder: a Samba share on this machine mounted twice
# through smbnetfs, as two PCs see it (the second with its own host name). Hundreds of desks
# starting at the same moment, one on each "PC": never do two hold the desk lock at once,
# and a released lock never stays behind to shut the next one out. Skipped, with the reason,
# where the packages or FUSE are missing.
# Usage: share_test.sh PROGRAM TOOL FIXTURES_DIR (desk_lock_race in CLIVARA_DESK_LOCK_RACE)
set -euo pipefail
tool=$2
race=${CLIVARA_DESK_LOCK_RACE:?}
rounds=${CLIVARA_SHARE_ROUNDS:-100}  # 0.7 s each

work=$(mktemp -d)
chmod 755 "$work"  # the server's account goes through it to its share
source "$(dirname "$0")/share_lib.sh"
trap 'stop_share; rm -rf "$work"' EXIT

fail() {
    echo "FALLITO: $*" >&2
    exit 1
}

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
