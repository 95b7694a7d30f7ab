// The shared string table at the size of a large archive: 400,000 strings.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "archive/records/biff_stream.h"
#include "archive/records/shared_strings.h"

namespace {

using clivara::archive::RecordReader;
using clivara::archive::SharedStrings;

SharedStrings makeTable(std::uint32_t count) {
    SharedStrings table;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::string text = "Cliente numero " + std::to_string(i);
        if (i % 5 == 0) text += " - via Garibaldi, Località Sant'Antonio";
        if (i % 13 == 0) text += " €";
        table.add(text);
    }
    return table;
}

struct Serialized {
    std::vector<std::uint8_t> stream;
    std::vector<std::span<const std::uint8_t>> bodies;
};

Serialized serializedTable(std::uint32_t count) {
    Serialized s;
    s.stream = makeTable(count).serialize(count, 0);
    RecordReader reader(s.stream);
    while (!reader.atEnd()) {
        auto view = reader.next();
        if (view.id != clivara::archive::rec::kExtSst) s.bodies.push_back(view.body);
    }
    return s;
}

void BM_ParseSharedStrings(benchmark::State& state) {
    const Serialized s = serializedTable(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        SharedStrings table = SharedStrings::parse(s.bodies);
        benchmark::DoNotOptimize(table.size());
    }
    state.counters["bytes"] = static_cast<double>(s.stream.size());
}

void BM_SerializeSharedStrings(benchmark::State& state) {
    const SharedStrings table = makeTable(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        auto bytes = table.serialize(table.size(), 0);
        benchmark::DoNotOptimize(bytes.data());
    }
}

// The first add() on a freshly read table builds the lookup of every string.
void BM_FirstAddAfterParse(benchmark::State& state) {
    const Serialized s = serializedTable(static_cast<std::uint32_t>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        SharedStrings table = SharedStrings::parse(s.bodies);
        state.ResumeTiming();
        benchmark::DoNotOptimize(table.add("Nuovo cliente"));
    }
}

}  // namespace

BENCHMARK(BM_ParseSharedStrings)->Arg(400000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SerializeSharedStrings)->Arg(400000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstAddAfterParse)->Arg(400000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
