#!/usr/bin/env bash
# The printed customer list and the address labels of 30,000 customers: clivara-archivio elenco
# and etichette (read, lay out, write the PDF) against LibreOffice exporting the same archive to
# PDF (soffice --headless --convert-to pdf), in the same run; medians of five whole-process runs
# (three for LibreOffice, whose profile is made by a first run that is not counted), wall and
# CPU time (user + system, which the other work on a shared machine disturbs less). The same
# commands on an empty archive give the fixed cost of a run (start-up, fonts, an empty page),
# so that what a page costs can be told apart. Also the steps inside our process (print_probe,
# with the window's Qt painter). Usage: bench/run_print_benchmark.sh [BUILD_DIR] [CUSTOMERS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
count=${2:-30000}
cmake --build "$build" -j "$(nproc)" --target make_big_archive clivara-archivio print_probe \
    >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
archive=$work/Archivio.xls
"$build/bench/make_big_archive" "$count" "$archive"
"$build/clivara-archivio" new "$work/vuoto.xls" >/dev/null
export QT_QPA_PLATFORM=offscreen

# "WALL_MS CPU_MS": the medians of RUNS runs of the command.
median_ms() {
    local runs=$1
    shift
    local walls=() cpus=() wall user system
    local TIMEFORMAT='%R %U %S'
    for ((i = 0; i < runs; i++)); do
        read -r wall user system < <({ time "$@" >/dev/null 2>&1; } 2>&1)
        walls+=("$(awk -v w="$wall" 'BEGIN { printf "%d", w * 1000 }')")
        cpus+=("$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%d", (u + s) * 1000 }')")
    done
    local middle=$(((runs + 1) / 2))
    echo "$(printf '%s\n' "${walls[@]}" | sort -n | sed -n "${middle}p")" \
        "$(printf '%s\n' "${cpus[@]}" | sort -n | sed -n "${middle}p")"
}
pages_of() {
    pdfinfo "$1" | awk '/^Pages:/ {print $2}'
}

read -r ours_ms ours_cpu < <(median_ms 5 "$build/clivara-archivio" elenco "$archive" \
    "$work/elenco.pdf")
ours_pages=$(pages_of "$work/elenco.pdf")
read -r labels_ms labels_cpu < <(median_ms 5 "$build/clivara-archivio" etichette "$archive" \
    "$work/etichette.pdf")
labels_pages=$(pages_of "$work/etichette.pdf")
read -r empty_ms empty_cpu < <(median_ms 5 "$build/clivara-archivio" elenco "$work/vuoto.xls" \
    "$work/vuoto.pdf")
read -r read_ms layout_ms paint_ms _ < <("$build/bench/print_probe" "$archive" "$work/probe.pdf" \
    2>/dev/null)

profile=$work/lo-profile
lo() {
    soffice -env:UserInstallation="file://$profile" --headless --convert-to pdf --outdir "$work/lo" \
        "$archive"
}
lo >/dev/null 2>&1 || true
read -r lo_ms lo_cpu < <(median_ms 3 lo)
lo_pages=$(pages_of "$work/lo/Archivio.pdf")

ratio() {
    awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / (b > 0 ? b : 1) }'
}
per_page() {
    awk -v t="$1" -v e="$2" -v p="$3" 'BEGIN { printf "%.3f", (t - e) / (p > 0 ? p : 1) }'
}
echo "elenco clienti in PDF, $count clienti (mediane; tempo reale / tempo di CPU):"
echo "  clivara-archivio elenco: ${ours_ms} / ${ours_cpu} ms, $ours_pages pagine," \
    "$(per_page "$ours_cpu" "$empty_cpu" "$ours_pages") ms di CPU a pagina oltre l'avvio"
echo "  clivara-archivio etichette (3x8): ${labels_ms} / ${labels_cpu} ms, $labels_pages pagine," \
    "$(per_page "$labels_cpu" "$empty_cpu" "$labels_pages") ms di CPU a pagina oltre l'avvio"
echo "  clivara-archivio elenco di un archivio vuoto (l'avvio): ${empty_ms} / ${empty_cpu} ms"
echo "  la stessa lista col painter Qt della finestra (print_probe): lettura ${read_ms} ms," \
    "impaginazione ${layout_ms} ms, pagine ${paint_ms} ms"
echo "  soffice --convert-to pdf: ${lo_ms} / ${lo_cpu} ms, $lo_pages pagine"
echo "  rapporto elenco: $(ratio "$lo_ms" "$ours_ms")x reale, $(ratio "$lo_cpu" "$ours_cpu")x CPU"
echo "  rapporto etichette: $(ratio "$lo_ms" "$labels_ms")x reale," \
    "$(ratio "$lo_cpu" "$labels_cpu")x CPU"
