// The search over every field at the sheet's limit of 65,535 customers: the answer to each
// keystroke while a user types a few searches, against a plain scan that asks QString::contains
// (case ignored, no accents folded) of every field of every customer, on the same customers and
// keystrokes. Building the index, which happens once after each change of the register, is timed
// too.
#include <benchmark/benchmark.h>

#include <QString>
#include <QStringList>
#include <array>
#include <string>
#include <vector>

#include "big_archive.h"
#include "register/customer_fields.h"
#include "register/customer_search.h"

namespace {

using clivara::customers::CustomerSearchIndex;

// Row 1 holds the headings: the sheet's 65,536 rows hold at most 65,535 customers.
constexpr int kCustomers = 65535;

const clivara::archive::Workbook& bigBook() {
    static const clivara::archive::Workbook book =
        clivara::archive::Workbook::open(bigArchivePath(kCustomers));
    return book;
}

const clivara::archive::Sheet& clienti() {
    return *bigBook().sheet("Clienti");
}

// Every prefix of the searches typed: one query per keystroke, in the order typed.
const std::vector<std::string>& keystrokes() {
    static const std::vector<std::string> typed = [] {
        std::vector<std::string> out;
        for (const std::string search : {"rossi", "città di castello", "06 1234", "ferrari 1234",
                                         "referente greco", "napoli s.r.l.", "zzz"}) {
            for (std::size_t length = 1; length <= search.size(); ++length) {
                const std::string prefix = search.substr(0, length);
                // A continuation byte would cut a character in two: the user types whole ones.
                if (length < search.size() && (search[length] & 0xC0) == 0x80) continue;
                out.push_back(prefix);
            }
        }
        return out;
    }();
    return typed;
}

// Each iteration types every keystroke once: the time of one keystroke's answer is the
// iteration's time divided by "keystrokes".
void report(benchmark::State& state, std::size_t customers, std::size_t matches) {
    const auto perRun = static_cast<double>(keystrokes().size());
    state.counters["customers"] = static_cast<double>(customers);
    state.counters["keystrokes"] = perRun;
    state.counters["matches_per_keystroke"] = benchmark::Counter(
        static_cast<double>(matches) / perRun, benchmark::Counter::kAvgIterations);
}

void SearchIndexKeystroke(benchmark::State& state) {
    const CustomerSearchIndex index(clienti());
    const std::vector<std::string>& typed = keystrokes();
    std::size_t matches = 0;
    for (auto _ : state) {
        for (const std::string& query : typed) {
            const std::vector<std::size_t> found = index.find(query);
            matches += found.size();
            benchmark::DoNotOptimize(found.data());
        }
    }
    report(state, index.size(), matches);
}
BENCHMARK(SearchIndexKeystroke)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// The peer: the thirteen fields of each customer held as QStrings, each word looked for with
// QString::contains(word, Qt::CaseInsensitive) in every field until one holds it.
void NaiveQStringScanKeystroke(benchmark::State& state) {
    const clivara::archive::Sheet& sheet = clienti();
    std::vector<std::array<QString, clivara::customers::kFieldCount>> customers;
    for (int row = clivara::customers::kFirstCustomerRow; row <= sheet.lastUsedRow(); ++row) {
        if (sheet.isEmpty(row, clivara::customers::kNameColumn)) continue;
        auto& fields = customers.emplace_back();
        for (int column = 1; column <= clivara::customers::kFieldCount; ++column) {
            fields[static_cast<std::size_t>(column - 1)] =
                QString::fromStdString(sheet.text(row, column));
        }
    }
    const std::vector<std::string>& typed = keystrokes();
    std::size_t matches = 0;
    for (auto _ : state) {
        for (const std::string& query : typed) {
            const QStringList words =
                QString::fromStdString(query).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            std::vector<std::size_t> found;
            for (std::size_t i = 0; i < customers.size(); ++i) {
                bool all = !words.isEmpty();
                for (const QString& word : words) {
                    bool any = false;
                    for (const QString& field : customers[i]) {
                        if (field.contains(word, Qt::CaseInsensitive)) {
                            any = true;
                            break;
                        }
                    }
                    if (!any) {
                        all = false;
                        break;
                    }
                }
                if (all) found.push_back(i);
            }
            matches += found.size();
            benchmark::DoNotOptimize(found.data());
        }
    }
    report(state, customers.size(), matches);
}
BENCHMARK(NaiveQStringScanKeystroke)->Unit(benchmark::kMillisecond)->MinTime(1.0);

// Once after each change: the index of the whole register.
void BuildSearchIndex(benchmark::State& state) {
    for (auto _ : state) {
        const CustomerSearchIndex index(clienti());
        benchmark::DoNotOptimize(index.size());
    }
}
BENCHMARK(BuildSearchIndex)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
