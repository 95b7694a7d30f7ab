#!/usr/bin/env bash
# Runs the benchmarks and measures the peers on the same generated archive in the same run:
# python3-xlrd opening it, Gnumeric's ssconvert converting it to .xls, and the peak memory of
# opening it. Prints the figures and the ratios. Usage: bench/run_benchmarks.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j "$(nproc)" --target make_big_archive archive_bench clivara-archivio >/dev/null

archive=$(mktemp -d)/Archivio-30000.xls
"$build/bench/make_big_archive" 30000 "$archive"
size=$(stat -c %s "$archive")
echo "archivio: 30000 clienti, $((size / 1024)) KiB"

# Medians of five runs of a command, in milliseconds.
median_ms() {
    local times=()
    for _ in 1 2 3 4 5; do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null 2>&1
        end=$(date +%s%N)
        times+=($(( (end - start) / 1000000 )))
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n 3p
}

ours_open=$(median_ms "$build/clivara-archivio" check "$archive" || true)
xlrd_open=$(median_ms /usr/bin/python3 -c "import xlrd,sys; b=xlrd.open_workbook(sys.argv[1]); s=b.sheet_by_name('Clienti'); [s.cell_value(r,0) for r in range(s.nrows)]" "$archive")
out=$(mktemp -d)
ours_copy=$(median_ms "$build/clivara-archivio" copy "$archive" "$out/copia.xls" || true)
rm -f "$out/copia.xls"
ssconvert_copy=$(median_ms ssconvert -T Gnumeric_Excel:excel_biff8 "$archive" "$out/gnumeric.xls")
peak_kb=$(/usr/bin/time -f %M "$build/clivara-archivio" check "$archive" 2>&1 >/dev/null | tail -n 1)

echo "aprire e scorrere la colonna A (processo intero): clivara-archivio ${ours_open} ms, xlrd ${xlrd_open} ms, rapporto $(awk "BEGIN{printf \"%.1f\", $xlrd_open/($ours_open>0?$ours_open:1)}")x"
echo "aprire e salvare (processo intero): clivara-archivio ${ours_copy} ms, ssconvert ${ssconvert_copy} ms, rapporto $(awk "BEGIN{printf \"%.1f\", $ssconvert_copy/($ours_copy>0?$ours_copy:1)}")x"
echo "memoria di picco nell'aprire: $((peak_kb / 1024)) MiB, $(awk "BEGIN{printf \"%.2f\", $peak_kb*1024/$size}") volte il file"

"$build/bench/archive_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
