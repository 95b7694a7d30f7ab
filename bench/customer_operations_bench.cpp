// Adding, modifying and deleting a customer on a loaded archive, each through its menu entry
// on a real Form1: the row change, the sort, the reset of the fields and both list rebuilds
// included; then opening the list and choosing its last entry. The growth runs from 1,000
// customers to the sheet's limit (65,535 below the heading row; additions start 9 below it).
// The platform is offscreen unless QT_QPA_PLATFORM names another (xcb under Xvfb, say).
#include <benchmark/benchmark.h>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "big_archive.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace {

// Answers Yes to every question, the warning of a similar customer included, so that each
// operation runs to its end.
class AlwaysYes : public MessageBoxes {
  public:
    bool askYesNo(QWidget*, const QString&, const QString&) override { return true; }
    bool askYesNoDefaultNo(QWidget*, const QString&, const QString&) override { return true; }
    void inform(QWidget*, const QString&, const QString&) override {}
};

// A window on a private copy of the generated archive of that size.
struct LoadedWindow {
    explicit LoadedWindow(int customers) {
        path = std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
        std::filesystem::copy_file(bigArchivePath(customers), path);
        form = std::make_unique<Form1>(boxes, path);
        if (!form->Form_Load()) {
            throw std::runtime_error("the generated archive did not load");
        }
        form->showAndActivate();
        QApplication::processEvents();
    }

    // Puts a row's thirteen cells into the fields, as choosing it in the list does.
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

// Times one menu entry and keeps each iteration's time, so the median can be reported
// beside the mean.
class Timings {
  public:
    void run(QAction* entry) {
        run([entry] { entry->trigger(); });
    }
    // Runs the step and then the events it left for the window (painting included).
    template <class Step>
    void run(Step&& step) {
        const auto start = std::chrono::steady_clock::now();
        step();
        QApplication::processEvents();
        times_.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    void report(benchmark::State& state, int customers) {
        std::sort(times_.begin(), times_.end());
        if (!times_.empty()) {
            state.counters["median_ms"] = times_[times_.size() / 2];
            state.counters["max_ms"] = times_.back();
        }
        state.SetComplexityN(customers);
    }

  private:
    std::vector<double> times_;
};

void BM_AddCustomer(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    LoadedWindow window(customers);
    Timings timings;
    int added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A new customer of its own: a name, a codice fiscale and a partita IVA that no other
        // customer has, so the look for a similar one goes through every row.
        window.chooseRow(2 + (added * 7919) % customers);
        window.form->setFieldText(1, QStringLiteral("Nuovo cliente %1").arg(added));
        window.form->setFieldText(10,
                                  QStringLiteral("NVCLNT%1").arg(added, 10, 10, QLatin1Char('0')));
        window.form->setFieldText(11, QStringLiteral("9%1").arg(added, 10, 10, QLatin1Char('0')));
        ++added;
        state.ResumeTiming();
        timings.run(window.form->mnuA);
    }
    timings.report(state, customers);
}

// The first addition after opening, each iteration on a freshly opened window: after a pause of
// range(1) ms (the user's first click comes a moment after the window shows; the string
// table's lookup is built meanwhile) or at once (0 ms: the addition waits for that lookup).
void BM_FirstAddition(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    const int pause = static_cast<int>(state.range(1));
    Timings timings;
    for (auto _ : state) {
        state.PauseTiming();
        LoadedWindow window(customers);
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < pause) QApplication::processEvents(QEventLoop::AllEvents, 10);
        window.chooseRow(2 + customers / 2);
        window.form->setFieldText(1, QStringLiteral("Primo nuovo cliente"));
        window.form->setFieldText(10, QStringLiteral("PRMNVC00A01H501X"));
        window.form->setFieldText(11, QStringLiteral("99999999999"));
        state.ResumeTiming();
        timings.run(window.form->mnuA);
    }
    timings.report(state, customers);
}

void BM_ModifyCustomer(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    LoadedWindow window(customers);
    Timings timings;
    int changed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A row from the middle renamed so that it moves to the other end, and back.
        window.chooseRow(2 + customers / 2);
        window.form->setFieldText(1, (changed++ % 2 == 0 ? QStringLiteral("0000 primo ")
                                                         : QStringLiteral("zzzz ultimo ")) +
                                         window.form->fieldText(1));
        state.ResumeTiming();
        timings.run(window.form->mnuM);
    }
    timings.report(state, customers);
}

void BM_DeleteCustomer(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    LoadedWindow window(customers);
    Timings timings;
    int deleted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        window.chooseRow(2 + (customers - deleted++) / 3);
        state.ResumeTiming();
        timings.run(window.form->mnuE);
    }
    timings.report(state, customers);
}

// Opening the list shows its last entries, as after a scroll to the end, and closes again.
void BM_OpenList(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    LoadedWindow window(customers);
    Timings timings;
    QComboBox* box = window.form->Combo1;
    for (auto _ : state) {
        timings.run([box] {
            box->showPopup();
            box->view()->scrollToBottom();
        });
        state.PauseTiming();
        box->hidePopup();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    timings.report(state, customers);
}

// A choice of the last entry: the k-th of equal names is counted over the whole list, and
// its row is the last one.
void BM_ChooseFromList(benchmark::State& state) {
    const int customers = static_cast<int>(state.range(0));
    LoadedWindow window(customers);
    Timings timings;
    QComboBox* box = window.form->Combo1;
    for (auto _ : state) {
        state.PauseTiming();
        window.form->mnuP->trigger();
        window.form->FillCustomerList();
        const int last = box->count() - 1;
        state.ResumeTiming();
        timings.run([box, last] {
            box->setCurrentIndex(last);
            Q_EMIT box->activated(last);
        });
    }
    timings.report(state, customers);
}

void sizes(benchmark::internal::Benchmark* bench) {
    bench->Arg(1000)->Arg(4000)->Arg(16000)->Arg(30000)->Arg(65526);
    bench->Iterations(9)->Complexity(benchmark::oNLogN)->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_AddCustomer)->Apply(sizes);
BENCHMARK(BM_FirstAddition)
    ->Args({65526, 0})
    ->Args({65526, 300})
    ->Args({30000, 0})
    ->Args({30000, 300})
    ->Iterations(9)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ModifyCustomer)->Apply(sizes);
BENCHMARK(BM_DeleteCustomer)->Apply(sizes);
BENCHMARK(BM_OpenList)->Apply(sizes);
BENCHMARK(BM_ChooseFromList)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
