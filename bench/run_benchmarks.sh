#!/usr/bin/env bash
# Runs the benchmarks and measures the peers on the same generated archive in the same run:
# python3-xlrd opening it, Gnumeric's ssconvert converting it to .xls, and the peak memory of
# opening it. Prints the figures and the ratios. Usage: bench/run_benchmarks.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" -j "$(nproc)" --target make_big_archive archive_bench clivara-archivio \
    open_probe startup_probe customer_operations_bench >/dev/null

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
# What the process needs before any archive (libraries, ICU): the same check on a tiny file.
base_kb=$(/usr/bin/time -f %M "$build/clivara-archivio" check tests/fixtures/lo-clienti.xls 2>&1 >/dev/null | tail -n 1)
peak_copy_kb=$(/usr/bin/time -f %M "$build/clivara-archivio" copy "$archive" "$out/picco.xls" 2>&1 >/dev/null | tail -n 1)
# open_probe does what the xlrd command does (open, read column A) and nothing more; "check"
# also surveys every customer row and its IDs.
probe_open=$(median_ms "$build/bench/open_probe" "$archive")
probe_copy=$(median_ms "$build/bench/open_probe" "$archive" "$out/sonda.xls")
probe_peak_kb=$(/usr/bin/time -f %M "$build/bench/open_probe" "$archive" 2>&1 >/dev/null | tail -n 1)
probe_copy_kb=$(/usr/bin/time -f %M "$build/bench/open_probe" "$archive" "$out/sonda.xls" 2>&1 >/dev/null | tail -n 1)

# The program from process start to the filled list and the focus in "Ragione Sociale", then
# "Esci"; against LibreOffice opening the same file headless and saving it as .xls.
program_dir=$(mktemp -d)
cp "$build/bench/startup_probe" "$program_dir/"
startup_runs=()
for _ in 1 2 3 4 5; do
    cp "$archive" "$program_dir/Archivio.xls"
    startup_runs+=("$(QT_QPA_PLATFORM=offscreen "$program_dir/startup_probe" "$(date +%s%N)")")
done
ready_ms=$(printf '%s\n' "${startup_runs[@]}" | awk '{print $2}' | sort -n | sed -n 3p)
esci_ms=$(printf '%s\n' "${startup_runs[@]}" | awk '{print $5}' | sort -n | sed -n 3p)
if command -v soffice >/dev/null; then
    profile=$(mktemp -d)
    soffice -env:UserInstallation="file://$profile" --headless --convert-to xls --outdir "$out/lo" "$archive" >/dev/null 2>&1 || true
    lo_ms=$(median_ms soffice -env:UserInstallation="file://$profile" --headless --convert-to xls --outdir "$out/lo" "$archive")
else
    lo_ms=""
fi

# The same comparison inside each process: xlrd's open_workbook and the walk of column A,
# against the OpenAndWalkColumnA benchmark (medians of five).
xlrd_inside=$(for _ in 1 2 3 4 5; do /usr/bin/python3 -c "
import sys, time, xlrd
start = time.perf_counter()
book = xlrd.open_workbook(sys.argv[1])
sheet = book.sheet_by_name('Clienti')
names = [sheet.cell_value(r, 0) for r in range(sheet.nrows)]
print(round((time.perf_counter() - start) * 1000, 1))" "$archive"; done | sort -n | sed -n 3p)
ours_inside=$("$build/bench/archive_bench" --benchmark_filter=OpenAndWalk --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_format=csv 2>/dev/null |
    awk -F, '/_median/ {printf "%.1f", $3}')
echo "aprire e scorrere la colonna A (nel processo): clivara ${ours_inside} ms, xlrd ${xlrd_inside} ms, rapporto $(awk "BEGIN{printf \"%.1f\", $xlrd_inside/$ours_inside}")x"
echo "aprire e scorrere la colonna A (processo intero): clivara-archivio ${ours_open} ms, xlrd ${xlrd_open} ms, rapporto $(awk "BEGIN{printf \"%.1f\", $xlrd_open/($ours_open>0?$ours_open:1)}")x"
echo "aprire e salvare (processo intero): clivara-archivio ${ours_copy} ms, ssconvert ${ssconvert_copy} ms, rapporto $(awk "BEGIN{printf \"%.1f\", $ssconvert_copy/($ours_copy>0?$ours_copy:1)}")x"
echo "memoria di picco nell'aprire: $((peak_kb / 1024)) MiB, $(awk "BEGIN{printf \"%.2f\", $peak_kb*1024/$size}") volte il file; oltre ai $((base_kb / 1024)) MiB del processo su un file minimo: $(awk "BEGIN{printf \"%.2f\", ($peak_kb-$base_kb)*1024/$size}") volte il file; nell'aprire e salvare: $((peak_copy_kb / 1024)) MiB"
echo "solo aprire e leggere la colonna A (open_probe, processo intero): ${probe_open} ms, xlrd ${xlrd_open} ms, rapporto $(awk "BEGIN{printf \"%.1f\", $xlrd_open/($probe_open>0?$probe_open:1)}")x; memoria di picco $((probe_peak_kb / 1024)) MiB, $(awk "BEGIN{printf \"%.2f\", $probe_peak_kb*1024/$size}") volte il file"
echo "aprire, leggere la colonna A e salvare (open_probe, processo intero): ${probe_copy} ms, ssconvert ${ssconvert_copy} ms, rapporto $(awk "BEGIN{printf \"%.1f\", $ssconvert_copy/($probe_copy>0?$probe_copy:1)}")x; memoria di picco $((probe_copy_kb / 1024)) MiB, $(awk "BEGIN{printf \"%.2f\", $probe_copy_kb*1024/$size}") volte il file"
echo "memoria di picco nell'aprire e salvare (copy): $(awk "BEGIN{printf \"%.2f\", $peak_copy_kb*1024/$size}") volte il file"
echo "programma: pronto (lista piena, cursore in Ragione Sociale) ${ready_ms} ms, Esci ${esci_ms} ms"
if [ -n "$lo_ms" ]; then
    echo "LibreOffice senza finestra, apre e salva lo stesso file: ${lo_ms} ms, rapporto $(awk "BEGIN{printf \"%.1f\", $lo_ms/($ready_ms+$esci_ms)}")x"
fi

"$build/bench/archive_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
QT_QPA_PLATFORM=offscreen "$build/bench/customer_operations_bench"
# The same operations on a real X display (Xvfb), where the list also paints.
if command -v xvfb-run >/dev/null; then
    QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
        "$build/bench/customer_operations_bench"
fi
