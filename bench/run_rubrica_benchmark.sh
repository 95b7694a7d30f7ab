#!/usr/bin/env bash
# The Rubrica at 65,535 customers (the most the sheet holds): the window's benchmark on the
# offscreen platform and on xcb under Xvfb, each beside its peer (a QStandardItemModel copy
# with a QSortFilterProxyModel); and `clivara-archivio esporta` to CSV against LibreOffice's
# own CSV export of the same archive, whole processes, in the same run.
# Usage: bench/run_rubrica_benchmark.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j2 --target make_big_archive clivara-archivio rubrica_window_bench >/dev/null

work=$(mktemp -d)
xvfb_pid=""
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

archive="$work/Archivio.xls"
"$build/bench/make_big_archive" 65535 "$archive"
echo "archivio: 65535 clienti, $(($(stat -c %s "$archive") / 1024)) KiB"

# The median of n runs of a command, in milliseconds.
median_ms() {
    local n=$1 times=()
    shift
    for _ in $(seq "$n"); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(((end - start) / 1000000)))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(((n + 1) / 2))p"
}

ours=$(median_ms 5 "$build/clivara-archivio" esporta "$archive" "$work/ours.csv")
profile="file://$work/lo-profile"
# A first run makes LibreOffice's profile, which the timed runs then find ready.
soffice -env:UserInstallation="$profile" --headless --convert-to csv --outdir "$work/lo" \
    "$archive" >/dev/null 2>&1 || true
lo=$(median_ms 3 soffice -env:UserInstallation="$profile" --headless \
    --convert-to 'csv:Text - txt - csv (StarCalc):59,34,76,1' --outdir "$work/lo" "$archive")
echo "CSV di 65535 clienti: clivara-archivio esporta ${ours} ms, LibreOffice ${lo} ms," \
    "rapporto $(awk -v a="$lo" -v b="$ours" 'BEGIN { printf "%.1f", a / b }')x"

echo "== offscreen"
QT_QPA_PLATFORM=offscreen "$build/bench/rubrica_window_bench" 2>/dev/null
echo "== xcb (Xvfb)"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
DISPLAY=":$(head -n 1 "$work/display")" QT_QPA_PLATFORM=xcb \
    "$build/bench/rubrica_window_bench" 2>/dev/null
