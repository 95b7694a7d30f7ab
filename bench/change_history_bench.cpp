// "Annulla" and "Ripeti" on a full register: undoing and redoing an addition, a modification
// and a deletion with the sort that followed each, beside the change itself measured in the
// same run; and what a history of 1,000 changes holds in memory, beside the workbook.
#include <benchmark/benchmark.h>

#include <string>

#include "archive/workbook.h"
#include "big_archive.h"
#include "register/change_history.h"
#include "register/customer_fields.h"
#include "register/customer_rows.h"

namespace {

using clivara::archive::Workbook;
using clivara::customers::ChangeHistory;
using clivara::customers::RegisterChange;
namespace customers = clivara::customers;

// The worst moves of the sort: an addition that goes to the top, a modification that sends
// the first customer to the end, a deletion at the top (every row below moves up).
RegisterChange changeOf(const Workbook& book, RegisterChange::Kind kind) {
    const auto& clienti = *book.sheet("Clienti");
    RegisterChange change{kind, 2, {}, {}};
    if (kind == RegisterChange::Kind::Deletion) return change;
    for (int column = 1; column <= customers::kFieldCount; ++column) {
        change.fields[column - 1] = clienti.text(2, column);
    }
    if (kind == RegisterChange::Kind::Addition) {
        change.row = customers::firstFreeCustomerRow(clienti);
        change.counter = customers::counterText(customers::counterValue(*book.sheet("Codici")) + 1);
        change.fields[0] = "AAA Primo Cliente Srl";
        change.fields[1] = change.counter;
    } else {
        change.fields[0] = "ZZZ Ultimo Cliente Srl";
    }
    return change;
}

// Customers: 65,534 for the addition (one row of the sheet left), 65,535 (the sheet full)
// otherwise. range(1): 0 the change itself, 1 its undo, 2 its redo.
void BM_History(benchmark::State& state, RegisterChange::Kind kind) {
    const int count = kind == RegisterChange::Kind::Addition ? 65534 : 65535;
    Workbook book = Workbook::open(bigArchivePath(count));
    const RegisterChange change = changeOf(book, kind);
    ChangeHistory history;
    history.apply(book, change);
    history.undo(book);
    const int measured = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (measured == 0) {
            history.apply(book, change);
            state.PauseTiming();
            history.undo(book);
            state.ResumeTiming();
        } else if (measured == 1) {
            state.PauseTiming();
            history.redo(book);
            state.ResumeTiming();
            history.undo(book);
        } else {
            history.redo(book);
            state.PauseTiming();
            history.undo(book);
            state.ResumeTiming();
        }
    }
    state.SetLabel(measured == 0 ? "change" : measured == 1 ? "undo" : "redo");
}

// 1,000 changes, a third of each kind, at 65,534 customers: bytes per step and in all, beside
// the size of the workbook's file.
void BM_ThousandSteps(benchmark::State& state) {
    const Workbook original = Workbook::open(bigArchivePath(65534));
    for (auto _ : state) {
        state.PauseTiming();
        Workbook book = original;
        ChangeHistory history;
        state.ResumeTiming();
        for (int step = 0; step < 1000; ++step) {
            const auto kind = static_cast<RegisterChange::Kind>(1 + step % 3);
            RegisterChange change = changeOf(book, kind);
            if (kind != RegisterChange::Kind::Addition) change.row = 2 + (step * 7919) % 60000;
            if (kind == RegisterChange::Kind::Modification) {
                change.fields[0] = "Cliente " + std::to_string(step);
                change.fields[1] = book.sheet("Clienti")->text(change.row, 2);
            }
            history.apply(book, change);
        }
        state.PauseTiming();
        const double bytes = static_cast<double>(history.memoryBytes());
        state.counters["steps_MiB"] = bytes / (1024 * 1024);
        state.counters["bytes_per_step"] = bytes / 1000;
        state.counters["file_MiB"] = static_cast<double>(original.toBytes().size()) / (1024 * 1024);
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK_CAPTURE(BM_History, addition, RegisterChange::Kind::Addition)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_History, modification, RegisterChange::Kind::Modification)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_History, deletion, RegisterChange::Kind::Deletion)
    ->DenseRange(0, 2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThousandSteps)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
