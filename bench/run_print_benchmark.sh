#!/usr/bin/env bash
# The printed customer list and the address labels of 30,000 customers: clivara-archivio elenco
# and etichette (read, lay out, write the PDF) against LibreOffice exporting the same archive to
# PDF (soffice --headless --convert-to pdf), in the same run; medians of three whole-process runs, LibreOffice's
# profile made by a first run that is not counted. Also the steps inside our process
# (print_probe, with the window's Qt painter). Usage: bench/run_print_benchmark.sh [BUILD_DIR] [CUSTOMERS]
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
export QT_QPA_PLATFORM=offscreen

median_ms() {
    local times=()
    for _ in 1 2 3; do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(( (end - start) / 1000000 )))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 2p
}

ours_ms=$(median_ms "$build/clivara-archivio" elenco "$archive" "$work/elenco.pdf")
"$build/clivara-archivio" elenco "$archive" "$work/elenco.pdf" 2>/dev/null
ours_pages=$(pdfinfo "$work/elenco.pdf" | awk '/^Pages:/ {print $2}')
labels_ms=$(median_ms "$build/clivara-archivio" etichette "$archive" "$work/etichette.pdf")
"$build/clivara-archivio" etichette "$archive" "$work/etichette.pdf" 2>/dev/null
labels_pages=$(pdfinfo "$work/etichette.pdf" | awk '/^Pages:/ {print $2}')
read -r read_ms layout_ms paint_ms _ < <("$build/bench/print_probe" "$archive" "$work/probe.pdf" 2>/dev/null)

profile=$work/lo-profile
lo() {
    soffice -env:UserInstallation="file://$profile" --headless --convert-to pdf --outdir "$work/lo" \
        "$archive"
}
lo >/dev/null 2>&1 || true
lo_ms=$(median_ms lo)
lo_pages=$(pdfinfo "$work/lo/Archivio.pdf" | awk '/^Pages:/ {print $2}')

echo "elenco clienti in PDF, $count clienti:"
echo "  clivara-archivio elenco (cairo e Pango): ${ours_ms} ms, $ours_pages pagine"
echo "  la stessa lista col painter Qt della finestra (print_probe): lettura ${read_ms} ms, impaginazione ${layout_ms} ms, pagine ${paint_ms} ms"
echo "  clivara-archivio etichette (3x8): ${labels_ms} ms, $labels_pages pagine"
echo "  soffice --convert-to pdf: ${lo_ms} ms, $lo_pages pagine"
echo "  rapporto elenco: $(awk "BEGIN{printf \"%.1f\", $lo_ms/($ours_ms>0?$ours_ms:1)}")x"
echo "  rapporto etichette: $(awk "BEGIN{printf \"%.1f\", $lo_ms/($labels_ms>0?$labels_ms:1)}")x"
