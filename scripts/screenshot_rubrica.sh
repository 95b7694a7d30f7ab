#!/usr/bin/env bash
# Takes a picture of the "Rubrica" as a person sees it: the built program runs in a virtual X
# display on a generated archive of 30,000 fictional customers, the Rubrica is opened from the
# menu bar, a word is typed in its filter, and the window is saved as docs/rubrica.png.
#
# Usage: scripts/screenshot_rubrica.sh [build directory]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/deps.sh test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j2 --target clivara make_big_archive

work=$(mktemp -d)
xvfb_pid=""
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null || true
    [ -n "$program_pid" ] && wait "$program_pid" 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp "$build/clivara" "$work/clivara"
"$build/bench/make_big_archive" 30000 "$work/Archivio.xls"

Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb non si è avviato" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

(cd "$work" && QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 exec ./clivara) &
program_pid=$!
window=$(timeout 30 xdotool search --all --sync --onlyvisible --pid "$program_pid" \
    --name '^Clivara 2008$' | head -n 1)
[ -n "$window" ] || { echo "La finestra del programma non è comparsa" >&2; exit 1; }
xdotool windowfocus --sync "$window"
sleep 0.5
# "Rubrica" is the second entry of the menu bar.
xdotool key alt
sleep 0.3
xdotool key Right Return
rubrica=$(timeout 30 xdotool search --all --sync --onlyvisible --pid "$program_pid" \
    --name '^Rubrica - Clivara 2008$' | head -n 1)
[ -n "$rubrica" ] || { echo "La finestra Rubrica non è comparsa" >&2; exit 1; }
xdotool windowfocus --sync "$rubrica"
sleep 0.5
xdotool key ctrl+f
xdotool type --delay 50 "${RUBRICA_FILTER:-roma}"
sleep 1

mkdir -p docs
import -window "$rubrica" docs/rubrica.png
echo "docs/rubrica.png"
