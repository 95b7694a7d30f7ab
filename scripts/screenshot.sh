#!/usr/bin/env bash
# Takes a picture of the window as a person sees it: the built program runs in a virtual X
# display on a sample archive with fictional customers, one customer is chosen from the list,
# and the window is saved as docs/screenshot.png. A user's own archive is never touched.
#
# Usage: scripts/screenshot.sh [build directory]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

bash scripts/deps.sh test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)" --target clivara clivara-archivio

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
"$build/clivara-archivio" sample "$work/Archivio.xls"

# A display of its own; Xvfb writes the number it took.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
done
[ -s "$work/display" ] || { echo "Xvfb non si è avviato" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$work/display")"

QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8 "$work/clivara" &
program_pid=$!
window=$(timeout 30 xdotool search --all --sync --onlyvisible --pid "$program_pid" \
    --name '^Clivara 2008$' | head -n 1)
[ -n "$window" ] || { echo "La finestra del programma non è comparsa" >&2; exit 1; }

# No window manager runs here: give the window the focus directly. The focus starts in
# "Ragione Sociale"; Shift+Tab reaches the list, and Down chooses its first customer.
xdotool windowfocus --sync "$window"
sleep 0.5
xdotool key --delay 100 shift+Tab Down
sleep 0.5

mkdir -p docs
import -window "$window" docs/screenshot.png
echo "docs/screenshot.png"
