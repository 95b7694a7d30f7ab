// What the duplicate warning and the code findings of `check` cost on large registers, each
// beside the work it is added to, measured in the same run: the search for a customer
// sharing a code or a name (every addition and modification) against the sort that the
// addition does anyway; the findings over every customer against opening the archive.
#include <benchmark/benchmark.h>

#include <string>

#include "archive/sort/sort_archive.h"
#include "archive/workbook.h"
#include "big_archive.h"
#include "register/customer_duplicates.h"
#include "register/customer_fields.h"
#include "register/field_hint.h"

namespace {

using clivara::archive::Sheet;
using clivara::archive::Workbook;
namespace customers = clivara::customers;

// A customer that shares nothing: the search visits every row.
void BM_FindDuplicateNoMatch(benchmark::State& state) {
    const Workbook book = Workbook::open(bigArchivePath(static_cast<int>(state.range(0))));
    const Sheet& clienti = *book.sheet("Clienti");
    for (auto _ : state) {
        auto found = customers::findDuplicate(
            clienti, {"Nuovo Cliente Mai Visto S.r.l.", "RSSMRA85T10A562S", "01234567897"}, 0);
        benchmark::DoNotOptimize(found);
    }
}

// The peer: the sort after one customer was added out of place.
void BM_SortAfterAddition(benchmark::State& state) {
    const Workbook original = Workbook::open(bigArchivePath(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        state.PauseTiming();
        Workbook book = original;
        Sheet& clienti = *book.sheet("Clienti");
        clienti.setText(2, 1, "zzz ultimo");
        state.ResumeTiming();
        clivara::archive::sortCustomerRows(clienti);
    }
}

// The findings of `check`: the groups sharing a code, and each code's check.
void BM_SharedCodes(benchmark::State& state) {
    const Workbook book = Workbook::open(bigArchivePath(static_cast<int>(state.range(0))));
    const Sheet& clienti = *book.sheet("Clienti");
    for (auto _ : state) {
        benchmark::DoNotOptimize(customers::sharedCodes(clienti));
    }
}

void BM_CodeHints(benchmark::State& state) {
    const Workbook book = Workbook::open(bigArchivePath(static_cast<int>(state.range(0))));
    const Sheet& clienti = *book.sheet("Clienti");
    for (auto _ : state) {
        std::size_t findings = 0;
        const int last = clienti.lastUsedRow();
        for (int row = customers::kFirstCustomerRow; row <= last; ++row) {
            for (const int column : {customers::kTaxCodeColumn, customers::kVatNumberColumn}) {
                findings +=
                    customers::fieldHint(column, clienti.text(row, column), {}).empty() ? 0 : 1;
            }
        }
        benchmark::DoNotOptimize(findings);
    }
}

// The peer: opening the archive, which `check` does first.
void BM_OpenArchive(benchmark::State& state) {
    const auto path = bigArchivePath(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        Workbook book = Workbook::open(path);
        benchmark::DoNotOptimize(book);
    }
}

}  // namespace

BENCHMARK(BM_FindDuplicateNoMatch)->Arg(30000)->Arg(65535)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortAfterAddition)->Arg(30000)->Arg(65535)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SharedCodes)->Arg(30000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CodeHints)->Arg(30000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenArchive)->Arg(30000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
