// The "Rubrica" at the sheet's limit of 65,535 customers, through a real Form1: opening the
// window to its first painted table, one filter keystroke to the repainted table, a sort by a
// heading, and every frame of a scroll from the top to the bottom page by page. The peer, in
// the same run, is the table Qt offers ready-made: the customers copied into a
// QStandardItemModel, a QSortFilterProxyModel filtering on every column (case ignored) and
// sorting with the locale's collation, in the same QTableView. The platform is the one in
// QT_QPA_PLATFORM (offscreen when unset; xcb under Xvfb for a real X server).
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
#include <filesystem>
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

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
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

// The peer's copy of the customers and its table, as the Rubrica shows them (13 columns).
struct Peer {
    Peer() {
        const auto& clienti = *window().form->ArchiveBook->sheet("Clienti");
        const std::vector<int> rows = clivara::customers::customerRows(clienti);
        items.setRowCount(static_cast<int>(rows.size()));
        items.setColumnCount(RubricaModel::kColumns);
        for (std::size_t line = 0; line < rows.size(); ++line) {
            for (int column = 0; column < RubricaModel::kColumns; ++column) {
                items.setItem(static_cast<int>(line), column,
                              new QStandardItem(QString::fromStdString(
                                  clienti.text(rows[line], RubricaModel::fieldOfColumn(column)))));
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
        table.resize(960, 480);
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

// Every prefix of a few filters typed, then cleared.
const std::vector<QString>& keystrokes() {
    static const std::vector<QString> typed = [] {
        std::vector<QString> out;
        for (const QString& search : {QStringLiteral("rossi"), QStringLiteral("città di castello"),
                                      QStringLiteral("06 1234"), QStringLiteral("zzz")}) {
            for (int length = 1; length <= search.size(); ++length)
                out.push_back(search.left(length));
            out.emplace_back();
        }
        return out;
    }();
    return typed;
}

void report(benchmark::State& state, const std::vector<double>& times) {
    if (times.empty()) return;
    double sum = 0;
    for (const double t : times) sum += t;
    state.counters["mean_ms"] = sum / static_cast<double>(times.size());
    state.counters["max_ms"] = *std::max_element(times.begin(), times.end());
    state.counters["steps"] = static_cast<double>(times.size());
}

// Opening: the menu entry to the window built, shown and its table painted; then, apart, the
// search's index that the window builds once it stands, before the first keystroke.
void BM_RubricaOpen(benchmark::State& state) {
    window();
    std::vector<double> times;
    std::vector<double> index;
    for (auto _ : state) {
        delete window().form->findChild<RubricaWindow*>();
        const auto start = Clock::now();
        window().form->MnRubrica->trigger();
        auto* shown = window().form->findChild<RubricaWindow*>();
        paint(*shown->table());
        times.push_back(msSince(start));
        state.SetIterationTime(times.back() / 1000.0);
        const auto then = Clock::now();
        QApplication::processEvents();
        index.push_back(msSince(then));
    }
    report(state, times);
    std::sort(index.begin(), index.end());
    state.counters["then_index_median_ms"] = index[index.size() / 2];
}
BENCHMARK(BM_RubricaOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The peer's opening: the copy made and the table shown.
void BM_PeerOpen(benchmark::State& state) {
    window();
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = Clock::now();
        auto copy = std::make_unique<Peer>();
        paint(copy->table);
        times.push_back(msSince(start));
        state.SetIterationTime(times.back() / 1000.0);
    }
    report(state, times);
}
BENCHMARK(BM_PeerOpen)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RubricaKeystroke(benchmark::State& state) {
    RubricaWindow& shown = rubrica();
    std::vector<double> times;
    for (auto _ : state) {
        for (const QString& text : keystrokes()) {
            const auto start = Clock::now();
            shown.filterLine()->setText(text);
            paint(*shown.table());
            times.push_back(msSince(start));
        }
    }
    report(state, times);
}
BENCHMARK(BM_RubricaKeystroke)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PeerKeystroke(benchmark::State& state) {
    Peer& copy = peer();
    std::vector<double> times;
    for (auto _ : state) {
        for (const QString& text : keystrokes()) {
            const auto start = Clock::now();
            copy.proxy.setFilterFixedString(text);
            paint(copy.table);
            times.push_back(msSince(start));
        }
    }
    report(state, times);
}
BENCHMARK(BM_PeerKeystroke)->Unit(benchmark::kMillisecond)->Iterations(1);

// A click on the headings of Ragione Sociale, ID and Località, each to the repainted table.
void BM_RubricaSort(benchmark::State& state) {
    RubricaWindow& shown = rubrica();
    shown.filterLine()->clear();
    std::vector<double> times;
    for (auto _ : state) {
        for (const int field : {1, 2, 6}) {
            const auto start = Clock::now();
            shown.table()->sortByColumn(RubricaModel::columnOfField(field), Qt::AscendingOrder);
            paint(*shown.table());
            times.push_back(msSince(start));
        }
        shown.table()->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    }
    report(state, times);
}
BENCHMARK(BM_RubricaSort)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_PeerSort(benchmark::State& state) {
    Peer& copy = peer();
    copy.proxy.setFilterFixedString(QString());
    std::vector<double> times;
    for (auto _ : state) {
        for (const int field : {1, 2, 6}) {
            const auto start = Clock::now();
            copy.table.sortByColumn(RubricaModel::columnOfField(field), Qt::AscendingOrder);
            paint(copy.table);
            times.push_back(msSince(start));
        }
        copy.proxy.sort(-1);
    }
    report(state, times);
}
BENCHMARK(BM_PeerSort)->Unit(benchmark::kMillisecond)->Iterations(1);

// Page by page from the top to the bottom: each frame is one scroll step and its repaint.
void scrollFrames(QTableView& table, std::vector<double>& times) {
    QScrollBar* bar = table.verticalScrollBar();
    bar->setValue(0);
    while (bar->value() < bar->maximum()) {
        const auto start = Clock::now();
        bar->setValue(bar->value() + bar->pageStep());
        paint(table);
        times.push_back(msSince(start));
    }
}

void BM_RubricaScroll(benchmark::State& state) {
    RubricaWindow& shown = rubrica();
    shown.filterLine()->clear();
    std::vector<double> times;
    for (auto _ : state) scrollFrames(*shown.table(), times);
    report(state, times);
}
BENCHMARK(BM_RubricaScroll)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_PeerScroll(benchmark::State& state) {
    Peer& copy = peer();
    std::vector<double> times;
    for (auto _ : state) scrollFrames(copy.table, times);
    report(state, times);
}
BENCHMARK(BM_PeerScroll)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    sharedPeer.reset();
    sharedWindow.reset();
    return 0;
}
