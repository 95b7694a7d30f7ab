// The "Rubrica" at the sheet's limit of 65,535 customers, through a real Form1: opening the
// window to its first painted table; series of filter keystrokes (typed on, then deleted back),
// each to the repainted table; a click on a heading (the first by that column since the window
// opened, then again), and every frame of a scroll from the top to the bottom page by page.
// Each step is timed by the wall clock and by the process's CPU time, since the machine may be
// busy with other work. The peer, in the same run, is the table Qt offers ready-made: the
// customers copied into a QStandardItemModel, a QSortFilterProxyModel filtering on every column
// (case ignored) and sorting with the locale's collation, in a QTableView showing the same
// columns. The platform is the one in QT_QPA_PLATFORM (offscreen when unset; xcb under Xvfb).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "big_archive.h"
#include "register/customer_table_order.h"
#include "window/form1.h"
#include "window/message_boxes.h"
#include "window/rubrica_model.h"
#include "window/rubrica_window.h"

namespace {

constexpr int kCustomers = 65535;  // row 1 holds the headings

using Clock = std::chrono::steady_clock;

// The process's CPU time (every thread: Qt hands large fills to a pool of its own), in ms.
double cpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// One measured step: wall and CPU time from its start.
class Step {
  public:
    Step() : wall_(Clock::now()), cpu_(cpuMs()) {}
    double wallMs() const {
        return std::chrono::duration<double, std::milli>(Clock::now() - wall_).count();
    }
    double cpuMsSince() const { return cpuMs() - cpu_; }

  private:
    Clock::time_point wall_;
    double cpu_;
};

// The wall and CPU times of a series of steps.
struct Times {
    std::vector<double> wall;
    std::vector<double> cpu;
    void add(const Step& step) {
        wall.push_back(step.wallMs());
        cpu.push_back(step.cpuMsSince());
    }
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void report(benchmark::State& state, const Times& times, const std::string& prefix = {}) {
    if (times.wall.empty()) return;
    auto put = [&](const std::string& name, const std::vector<double>& values) {
        double sum = 0;
        for (const double t : values) sum += t;
        state.counters[prefix + name + "_mean"] = sum / static_cast<double>(values.size());
        state.counters[prefix + name + "_median"] = median(values);
        state.counters[prefix + name + "_max"] = *std::max_element(values.begin(), values.end());
    };
    put("wall", times.wall);
    put("cpu", times.cpu);
    state.counters[prefix + "steps"] = static_cast<double>(times.wall.size());
}

class Quiet : public MessageBoxes {
  public:
    bool askYesNo(QWidget*, const QString&, const QString&) override { return true; }
    void inform(QWidget*, const QString&, const QString&) override {}
};

struct Window {
    Window() {
        path = std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
        std::filesystem::copy_file(bigArchivePath(kCustomers), path);
        form = std::make_unique<Form1>(boxes, path);
        if (!form->Form_Load()) throw std::runtime_error("the generated archive did not load");
        form->showAndActivate();
        QApplication::processEvents();
    }
    Quiet boxes;
    QTemporaryDir dir;
    std::filesystem::path path;
    std::unique_ptr<Form1> form;
};

// Made on first use, ended in main() while the application still stands.
std::unique_ptr<Window> sharedWindow;
Window& window() {
    if (!sharedWindow) sharedWindow = std::make_unique<Window>();
    return *sharedWindow;
}

const clivara::archive::Sheet& clienti() {
    return *window().form->ArchiveBook->sheet("Clienti");
}

// The peer's copy of the customers and its table, as the Rubrica shows them (13 columns).
struct Peer {
    Peer() {
        const std::vector<int> rows = clivara::customers::customerRows(clienti());
        items.setRowCount(static_cast<int>(rows.size()));
        items.setColumnCount(RubricaModel::kColumns);
        for (std::size_t line = 0; line < rows.size(); ++line) {
            for (int column = 0; column < RubricaModel::kColumns; ++column) {
                items.setItem(static_cast<int>(line), column,
                              new QStandardItem(QString::fromStdString(clienti().text(
                                  rows[line], RubricaModel::fieldOfColumn(column)))));
            }
        }
        proxy.setSourceModel(&items);
        proxy.setFilterKeyColumn(-1);
        proxy.setFilterCaseSensitivity(Qt::CaseInsensitive);
        proxy.setSortLocaleAware(true);
        table.setModel(&proxy);
        table.verticalHeader()->hide();
        table.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table.verticalHeader()->setDefaultSectionSize(table.fontMetrics().height() + 6);
        for (int column = RubricaModel::kShownAtFirst; column < RubricaModel::kColumns; ++column)
            table.setColumnHidden(column, true);
        table.resize(980, 460);
        table.show();
        QApplication::processEvents();
    }
    QStandardItemModel items;
    QSortFilterProxyModel proxy;
    QTableView table;
};

std::unique_ptr<Peer> sharedPeer;
Peer& peer() {
    if (!sharedPeer) sharedPeer = std::make_unique<Peer>();
    return *sharedPeer;
}

RubricaWindow& rubrica() {
    window().form->MnRubrica->trigger();
    auto* shown = window().form->findChild<RubricaWindow*>();
    QApplication::processEvents();
    return *shown;
}

void paint(QTableView& table) {
    table.viewport()->repaint();
}

// What is typed, one keystroke a step: every prefix of a text, then (for some) deleted back
// one character at a time to the empty filter.
std::vector<QString> typedThenDeleted(const QString& text, bool deleteBack) {
    std::vector<QString> out;
    for (int length = 1; length <= text.size(); ++length) out.push_back(text.left(length));
    if (deleteBack) {
        for (int length = static_cast<int>(text.size()) - 1; length >= 0; --length)
            out.push_back(text.left(length));
    }
    return out;
}

// The telephone of a customer halfway down, its digits alone as a clerk types them.
QString phoneTyped() {
    const std::vector<int> rows = clivara::customers::customerRows(clienti());
    QString digits;
    for (const QChar c : QString::fromStdString(clienti().text(rows[rows.size() / 2], 8)))
        if (c.isDigit()) digits += c;
    return digits;
}

struct Series {
    const char* name;
    std::vector<QString> keystrokes;
};

const std::vector<Series>& series() {
    static const std::vector<Series> all = {
        {"ros", typedThenDeleted(QStringLiteral("ros"), false)},
        {"rossi_and_back", typedThenDeleted(QStringLiteral("rossi"), true)},
        {"phone_digits_and_back", typedThenDeleted(phoneTyped(), true)},
        {"two_words", typedThenDeleted(QStringLiteral("città di castello"), true)},
        {"nothing_found", typedThenDeleted(QStringLiteral("zzz"), true)},
    };
    return all;
}

// Opening: the menu entry to the window built, shown and its table painted; then, apart, the
// search's index that the window builds once it stands, before the first keystroke.
void BM_RubricaOpen(benchmark::State& state) {
    window();
    Times times;
    Times index;
    for (auto _ : state) {
        delete window().form->findChild<RubricaWindow*>();
        const Step step;
        window().form->MnRubrica->trigger();
        auto* shown = window().form->findChild<RubricaWindow*>();
        paint(*shown->table());
        times.add(step);
        state.SetIterationTime(times.wall.back() / 1000.0);
        const Step then;
        QApplication::processEvents();
        index.add(then);
    }
    report(state, times);
    report(state, index, "then_index_");
}
BENCHMARK(BM_RubricaOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The peer's opening: the copy made and the table shown.
void BM_PeerOpen(benchmark::State& state) {
    window();
    Times times;
    for (auto _ : state) {
        const Step step;
        auto copy = std::make_unique<Peer>();
        paint(copy->table);
        times.add(step);
        state.SetIterationTime(times.wall.back() / 1000.0);
    }
    report(state, times);
}
BENCHMARK(BM_PeerOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// One series of keystrokes, each to the repainted table. Each run of the series starts in a
// window opened anew, whose search has answered nothing yet.
void rubricaKeystrokes(benchmark::State& state, const Series& typed) {
    Times times;
    for (auto _ : state) {
        state.PauseTiming();
        delete window().form->findChild<RubricaWindow*>();
        RubricaWindow& shown = rubrica();
        state.ResumeTiming();
        for (const QString& text : typed.keystrokes) {
            const Step step;
            shown.filterLine()->setText(text);
            paint(*shown.table());
            times.add(step);
        }
    }
    report(state, times);
}

void peerKeystrokes(benchmark::State& state, const Series& typed) {
    Peer& copy = peer();
    copy.proxy.setFilterFixedString(QString());
    Times times;
    for (auto _ : state) {
        for (const QString& text : typed.keystrokes) {
            const Step step;
            copy.proxy.setFilterFixedString(text);
            paint(copy.table);
            times.add(step);
        }
    }
    report(state, times);
}

// A click on a heading to the repainted table: the first by that column since the window
// opened, then the same heading again (descending) and once more (ascending).
constexpr int kSortFields[] = {2, 1, 3, 6};  // ID, Ragione Sociale, Data, Località
const char* const kSortNames[] = {"id", "ragione_sociale", "data", "localita"};

void rubricaSort(benchmark::State& state, int field) {
    Times first;
    Times again;
    for (auto _ : state) {
        delete window().form->findChild<RubricaWindow*>();
        RubricaWindow& shown = rubrica();
        QTableView& table = *shown.table();
        const int column = RubricaModel::columnOfField(field);
        table.setColumnHidden(column, false);
        paint(table);
        const Step step;
        table.sortByColumn(column, Qt::AscendingOrder);
        paint(table);
        first.add(step);
        for (const Qt::SortOrder order : {Qt::DescendingOrder, Qt::AscendingOrder}) {
            const Step next;
            table.sortByColumn(column, order);
            paint(table);
            again.add(next);
        }
    }
    report(state, first, "first_");
    report(state, again, "again_");
}

void peerSort(benchmark::State& state, int field) {
    Peer& copy = peer();
    copy.proxy.setFilterFixedString(QString());
    const int column = RubricaModel::columnOfField(field);
    copy.table.setColumnHidden(column, false);
    Times times;
    for (auto _ : state) {
        for (const Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder}) {
            const Step step;
            copy.table.sortByColumn(column, order);
            paint(copy.table);
            times.add(step);
        }
        copy.proxy.sort(-1);
    }
    copy.table.setColumnHidden(column, column >= RubricaModel::kShownAtFirst);
    report(state, times);
}

// Page by page from the top to the bottom: each frame is one scroll step and its repaint.
void scrollFrames(QTableView& table, Times& times) {
    QScrollBar* bar = table.verticalScrollBar();
    bar->setValue(0);
    paint(table);
    while (bar->value() < bar->maximum()) {
        const Step step;
        bar->setValue(bar->value() + bar->pageStep());
        paint(table);
        times.add(step);
    }
}

void BM_RubricaScroll(benchmark::State& state) {
    RubricaWindow& shown = rubrica();
    shown.filterLine()->clear();
    shown.table()->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    QApplication::processEvents();
    Times times;
    for (auto _ : state) scrollFrames(*shown.table(), times);
    report(state, times);
    state.counters["rows_per_page"] = shown.table()->verticalScrollBar()->pageStep();
}

void BM_PeerScroll(benchmark::State& state) {
    Peer& copy = peer();
    copy.proxy.setFilterFixedString(QString());
    copy.proxy.sort(-1);
    Times times;
    for (auto _ : state) scrollFrames(copy.table, times);
    report(state, times);
    state.counters["rows_per_page"] = copy.table.verticalScrollBar()->pageStep();
}

void registerAll() {
    for (const Series& typed : series()) {
        benchmark::RegisterBenchmark(
            (std::string("BM_RubricaKeystroke/") + typed.name).c_str(),
            [&typed](benchmark::State& state) { rubricaKeystrokes(state, typed); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
        benchmark::RegisterBenchmark(
            (std::string("BM_PeerKeystroke/") + typed.name).c_str(),
            [&typed](benchmark::State& state) { peerKeystrokes(state, typed); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    for (std::size_t k = 0; k < std::size(kSortFields); ++k) {
        const int field = kSortFields[k];
        benchmark::RegisterBenchmark(
            (std::string("BM_RubricaSort/") + kSortNames[k]).c_str(),
            [field](benchmark::State& state) { rubricaSort(state, field); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(3);
        benchmark::RegisterBenchmark((std::string("BM_PeerSort/") + kSortNames[k]).c_str(),
                                     [field](benchmark::State& state) { peerSort(state, field); })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(1);
    }
    benchmark::RegisterBenchmark("BM_RubricaScroll", BM_RubricaScroll)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("BM_PeerScroll", BM_PeerScroll)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    registerAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sharedPeer.reset();
    sharedWindow.reset();
    return 0;
}
