// The workbook layer on a generated 30,000-customer archive: opening it and walking column A,
// saving it, sorting the customer rows (one row out of place, and all of them shuffled), deleting a
// row, and the snapshot copy the program takes before each change.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/sort/sort_archive.h"
#include "archive/workbook.h"
#include "big_archive.h"

namespace {

using clivara::archive::Sheet;
using clivara::archive::Workbook;

constexpr int kCustomers = 30000;

void BM_OpenAndWalkColumnA(benchmark::State& state) {
    const auto path = bigArchivePath(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Workbook book = Workbook::open(path);
        const Sheet& clienti = *book.sheet("Clienti");
        const int last = clienti.endDown(2, 1);
        std::size_t characters = 0;
        for (int row = 2; row <= last; ++row) {
            characters += clienti.text(row, 1).size();
        }
        benchmark::DoNotOptimize(characters);
    }
    state.counters["file_MB"] =
        static_cast<double>(std::filesystem::file_size(path)) / (1024.0 * 1024.0);
}

void BM_OpenAndSave(benchmark::State& state) {
    const auto path = bigArchivePath(static_cast<int>(state.range(0)));
    const auto out = std::filesystem::temp_directory_path() / "clivara-bench-save.xls";
    for (auto _ : state) {
        Workbook book = Workbook::open(path);
        book.save(out);
    }
    std::filesystem::remove(out);
}

void BM_SortAllRows(benchmark::State& state) {
    const Workbook original = Workbook::open(bigArchivePath(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        state.PauseTiming();
        Workbook book = original;
        Sheet& clienti = *book.sheet("Clienti");
        // Put the last customer first so the sort has real work to do.
        clienti.setText(2, 1, "zzz ultimo");
        state.ResumeTiming();
        clivara::archive::sortCustomerRows(clienti);
    }
}

void BM_SortShuffledRows(benchmark::State& state) {
    const Workbook original = Workbook::open(bigArchivePath(static_cast<int>(state.range(0))));
    const int customers = original.sheet("Clienti")->endDown(2, 1) - 1;
    std::vector<int> shuffle(static_cast<std::size_t>(customers));
    for (int i = 0; i < customers; ++i) {
        shuffle[static_cast<std::size_t>(i)] = static_cast<int>((i * 7919L) % customers);
    }
    for (auto _ : state) {
        state.PauseTiming();
        Workbook book = original;
        Sheet& clienti = *book.sheet("Clienti");
        clienti.permuteRows(2, 1, 13, shuffle);
        state.ResumeTiming();
        clivara::archive::sortCustomerRows(clienti);
    }
}

void BM_DeleteRow(benchmark::State& state) {
    const Workbook original = Workbook::open(bigArchivePath(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        state.PauseTiming();
        Workbook book = original;
        state.ResumeTiming();
        book.sheet("Clienti")->deleteRow(3);
    }
}

void BM_SnapshotCopy(benchmark::State& state) {
    const Workbook original = Workbook::open(bigArchivePath(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        Workbook copy = original;
        benchmark::DoNotOptimize(copy);
    }
}

BENCHMARK(BM_OpenAndWalkColumnA)->Arg(kCustomers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenAndSave)->Arg(kCustomers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortAllRows)->Arg(1000)->Arg(kCustomers)->Arg(65000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortShuffledRows)->Arg(kCustomers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteRow)->Arg(kCustomers)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SnapshotCopy)->Arg(kCustomers)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
