// What the journal of confirmed changes costs the handlers: adding, modifying and deleting a
// customer through the menu entries of a real Form1 (offscreen), once with the journal beside
// the archive (each change committed and flushed to disk before the handler returns) and once
// without, in the same run on copies of the same generated archive. The first change of a run
// also stores the whole workbook as the journal's base: first_ms reports it apart.
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "big_archive.h"
#include "operations/recovery.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace {

class AlwaysYes : public MessageBoxes {
  public:
    bool askYesNo(QWidget*, const QString&, const QString&) override { return true; }
    void inform(QWidget*, const QString&, const QString&) override {}
};

// A window on a private copy of the generated archive, with or without the journal. The copy
// lives in the same folder as the other benchmarks' files (the temporary folder), so the
// journal's flushes reach the same disk.
struct Window {
    Window(int customers, bool journal) {
        path = std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
        std::filesystem::copy_file(bigArchivePath(customers), path);
        form = std::make_unique<Form1>(boxes, path);
        if (!form->Form_Load()) {
            throw std::runtime_error("the generated archive did not load");
        }
        if (journal) {
            clivara::operations::enableRecovery(*form);
        }
        form->showAndActivate();
        QApplication::processEvents();
    }
    void chooseRow(int row) {
        const auto& clienti = *form->ArchiveBook->sheet("Clienti");
        for (int n = 1; n <= 13; ++n) {
            form->setFieldText(n, QString::fromStdString(clienti.text(row, n)));
        }
    }
    AlwaysYes boxes;
    QTemporaryDir dir;
    std::filesystem::path path;
    std::unique_ptr<Form1> form;
};

void report(benchmark::State& state, std::vector<double> times) {
    if (times.empty()) return;
    state.counters["first_ms"] = times.front();
    std::sort(times.begin() + 1, times.end());  // the median of the changes after the first
    state.counters["median_ms"] = times[1 + (times.size() - 1) / 2];
    state.counters["max_ms"] = times.back();
}

double timed(QAction* entry) {
    const auto start = std::chrono::steady_clock::now();
    entry->trigger();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

void BM_Add(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    Window window(customers, state.range(1) != 0);
    std::vector<double> times;
    int added = 0;
    for (auto _ : state) {
        window.chooseRow(2 + (added * 7919) % customers);
        window.form->setFieldText(1, QStringLiteral("Nuovo cliente %1").arg(added++));
        times.push_back(timed(window.form->mnuA));
    }
    report(state, std::move(times));
}

void BM_Modify(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    Window window(customers, state.range(1) != 0);
    std::vector<double> times;
    int changed = 0;
    for (auto _ : state) {
        window.chooseRow(2 + customers / 2);
        window.form->setFieldText(1, (changed++ % 2 == 0 ? QStringLiteral("0000 primo ")
                                                         : QStringLiteral("zzzz ultimo ")) +
                                         window.form->fieldText(1));
        times.push_back(timed(window.form->mnuM));
    }
    report(state, std::move(times));
}

void BM_Delete(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    Window window(customers, state.range(1) != 0);
    std::vector<double> times;
    int deleted = 0;
    for (auto _ : state) {
        window.chooseRow(2 + (customers - deleted++) / 3);
        times.push_back(timed(window.form->mnuE));
    }
    report(state, std::move(times));
}

// 65,000 customers: near the sheet's 65,535 rows below the headings, with room for the adds.
void sizes(benchmark::internal::Benchmark* bench) {
    for (const int customers : {30000, 65000}) {
        bench->Args({customers, 0})->Args({customers, 1});
    }
    bench->ArgNames({"customers", "journal"})->Iterations(11)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_Add)->Apply(sizes);
BENCHMARK(BM_Modify)->Apply(sizes);
BENCHMARK(BM_Delete)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
