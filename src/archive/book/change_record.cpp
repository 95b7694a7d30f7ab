// Taking back one change of a few rows. The cells are put back from the rows kept before the
// change; a reordering is undone by the inverse reordering through the sheet's own row
// operation, so that what is anchored to the rows follows back; the anchored records and the
// globals are put back from a copy only where the change altered them.
#include "archive/book/change_record.h"

#include <algorithm>
#include <optional>

#include "archive/model/workbook_data.h"

namespace clivara::archive {

namespace {

// Everything of a sheet but its cells: what a row operation may rewrite besides the rows.
struct SheetSide {
    std::vector<KeptRecord> records;
    std::vector<std::vector<std::uint8_t>> owned;
    std::vector<Formula> formulas;
    std::vector<FrozenFormula> frozenFormulas;
    bool hadIndex = false;
};

struct GlobalsSide {
    std::vector<KeptRecord> globals;
    std::vector<std::vector<std::uint8_t>> ownedGlobals;
    std::vector<Substream> substreams;
};

bool same(const KeptRecord& a, const KeptRecord& b) {
    return a.source == b.source && a.id == b.id && a.offset == b.offset && a.size == b.size;
}

bool same(const Formula& a, const Formula& b) {
    return a.records == b.records && a.result == b.result &&
           std::bit_cast<std::uint64_t>(a.number) == std::bit_cast<std::uint64_t>(b.number) &&
           a.code == b.code && a.text == b.text && a.ownsSharedRecords == b.ownsSharedRecords;
}

bool same(const FrozenFormula& a, const FrozenFormula& b) {
    return a.row == b.row && a.column == b.column && a.reason == b.reason &&
           a.isVolatile == b.isVolatile;
}

bool same(const Substream& a, const Substream& b) {
    return a.start == b.start && a.end == b.end && a.sheet == b.sheet &&
           a.boundSheetRecord == b.boundSheetRecord && a.rewritten == b.rewritten;
}

template <class T>
bool same(const std::vector<T>& a, const std::vector<T>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](const T& x, const T& y) { return same(x, y); });
}

SheetSide sideOf(const SheetData& sheet) {
    return {sheet.records, sheet.owned, sheet.formulas, sheet.frozenFormulas, sheet.hadIndex};
}

bool sameSide(const SheetSide& side, const SheetData& sheet) {
    return same(side.records, sheet.records) && side.owned == sheet.owned &&
           same(side.formulas, sheet.formulas) && same(side.frozenFormulas, sheet.frozenFormulas) &&
           side.hadIndex == sheet.hadIndex;
}

std::size_t bytesOf(const std::vector<std::vector<std::uint8_t>>& bodies) {
    std::size_t bytes = bodies.capacity() * sizeof(bodies[0]);
    for (const auto& body : bodies) bytes += body.capacity();
    return bytes;
}

std::size_t bytesOf(const SheetSide& side) {
    std::size_t bytes = side.records.capacity() * sizeof(KeptRecord) + bytesOf(side.owned) +
                        side.frozenFormulas.capacity() * sizeof(FrozenFormula);
    for (const Formula& formula : side.formulas) {
        bytes += sizeof(Formula) + formula.records.capacity() + formula.text.capacity();
    }
    return bytes;
}

// A run of rows that a reordering moved together: positions first .. first + length - 1 took
// the rows that stood `shift` places further down (or up, when negative).
struct Run {
    int first = 0;
    int length = 0;
    int shift = 0;
};

std::size_t sheetIndex(const Workbook& book, const Sheet& sheet) {
    return static_cast<std::size_t>(&sheet.data() - book.data().sheets.data());
}

}  // namespace

struct ChangeRecord::State {
    // One step of the change, in the order made; undone in the opposite order.
    struct Step {
        enum class Kind : std::uint8_t { WroteRow, DeletedRow, Permuted } kind = Kind::WroteRow;
        std::size_t sheet = 0;
        std::size_t rowsBefore = 0;  // WroteRow, DeletedRow: length of the row table before
        int row0 = 0;
        Row row;  // WroteRow, DeletedRow: the row as it was
        int firstColumn = 0, lastColumn = 0;
        std::vector<Run> runs;  // Permuted, offsets from row0
        int count = 0;
    };
    std::vector<Step> steps;
    std::uint32_t strings = 0;
    // Before the change, dropped by finish() where the change left them alone.
    std::vector<std::optional<SheetSide>> sides;
    std::vector<bool> changed;  // each sheet's mark of a change since it was read
    std::optional<GlobalsSide> globals;
    bool reversible = true;
};

ChangeRecord::ChangeRecord(const Workbook& book) : state_(std::make_unique<State>()) {
    const WorkbookData& data = book.data();
    state_->strings = data.strings->size();
    for (const SheetData& sheet : data.sheets) {
        state_->sides.emplace_back(sideOf(sheet));
        state_->changed.push_back(sheet.changed);
    }
    state_->globals = GlobalsSide{data.globals, data.ownedGlobals, data.substreams};
}

ChangeRecord::ChangeRecord(ChangeRecord&&) noexcept = default;
ChangeRecord& ChangeRecord::operator=(ChangeRecord&&) noexcept = default;
ChangeRecord::~ChangeRecord() = default;

void ChangeRecord::keepRow(const Workbook& book, const Sheet& sheet, int row) {
    State::Step step;
    step.kind = State::Step::Kind::WroteRow;
    step.sheet = sheetIndex(book, sheet);
    step.rowsBefore = sheet.data().rows.size();
    step.row0 = row - 1;
    if (const Row* kept = sheet.data().row(row - 1)) step.row = *kept;
    state_->steps.push_back(std::move(step));
}

void ChangeRecord::keepDeletedRow(const Workbook& book, const Sheet& sheet, int row) {
    keepRow(book, sheet, row);
    state_->steps.back().kind = State::Step::Kind::DeletedRow;
}

void ChangeRecord::notePermutation(const Workbook& book, const Sheet& sheet, int firstRow,
                                   int firstColumn, int lastColumn, std::span<const int> order) {
    State::Step step;
    step.kind = State::Step::Kind::Permuted;
    step.sheet = sheetIndex(book, sheet);
    step.row0 = firstRow - 1;
    step.firstColumn = firstColumn;
    step.lastColumn = lastColumn;
    step.count = static_cast<int>(order.size());
    for (int i = 0; i < step.count; ++i) {
        const int shift = order[static_cast<std::size_t>(i)] - i;
        if (!step.runs.empty() && step.runs.back().shift == shift &&
            step.runs.back().first + step.runs.back().length == i) {
            ++step.runs.back().length;
        } else {
            step.runs.push_back({i, 1, shift});
        }
    }
    step.runs.shrink_to_fit();
    state_->steps.push_back(std::move(step));
}

void ChangeRecord::finish(const Workbook& book) {
    const WorkbookData& data = book.data();
    for (std::size_t i = 0; i < data.sheets.size(); ++i) {
        std::optional<SheetSide>& side = state_->sides[i];
        const SheetData& sheet = data.sheets[i];
        // Formulas turned into values in rows the change did not keep cannot come back.
        if (sheet.frozenFormulas.size() > side->frozenFormulas.size() ||
            sheet.formulas.size() < side->formulas.size()) {
            state_->reversible = false;
        }
        if (sameSide(*side, sheet)) side.reset();
    }
    if (same(state_->globals->globals, data.globals) &&
        state_->globals->ownedGlobals == data.ownedGlobals &&
        same(state_->globals->substreams, data.substreams)) {
        state_->globals.reset();
    }
    for (State::Step& step : state_->steps) step.row.cells.shrink_to_fit();
}

std::vector<int> ChangeRecord::lastPermutation(const Workbook& book, const Sheet& sheet,
                                               int& firstRow) const {
    const std::size_t index = sheetIndex(book, sheet);
    for (auto step = state_->steps.rbegin(); step != state_->steps.rend(); ++step) {
        if (step->kind != State::Step::Kind::Permuted || step->sheet != index) continue;
        firstRow = step->row0 + 1;
        std::vector<int> order(static_cast<std::size_t>(step->count));
        for (const Run& run : step->runs) {
            for (int i = run.first; i < run.first + run.length; ++i) {
                order[static_cast<std::size_t>(i)] = i + run.shift;
            }
        }
        return order;
    }
    return {};
}

bool ChangeRecord::reversible() const {
    return state_->reversible;
}

void ChangeRecord::undo(Workbook& book) const {
    WorkbookData& data = book.data();
    for (auto step = state_->steps.rbegin(); step != state_->steps.rend(); ++step) {
        SheetData& sheet = data.sheets[step->sheet];
        switch (step->kind) {
            case State::Step::Kind::Permuted: {
                // Row row0 + i took what row row0 + i + shift held: now row row0 + i + shift
                // takes it back.
                std::vector<int> inverse(static_cast<std::size_t>(step->count));
                for (const Run& run : step->runs) {
                    for (int i = run.first; i < run.first + run.length; ++i) {
                        inverse[static_cast<std::size_t>(i + run.shift)] = i;
                    }
                }
                book.sheetAt(step->sheet)
                    .permuteRows(step->row0 + 1, step->firstColumn, step->lastColumn, inverse);
                break;
            }
            case State::Step::Kind::WroteRow:
                if (static_cast<std::size_t>(step->row0) < sheet.rows.size()) {
                    sheet.rows[static_cast<std::size_t>(step->row0)] = step->row;
                }
                break;
            case State::Step::Kind::DeletedRow:
                if (static_cast<std::size_t>(step->row0) < step->rowsBefore) {
                    sheet.rows.insert(sheet.rows.begin() + step->row0, step->row);
                }
                break;
        }
        if (step->kind != State::Step::Kind::Permuted && sheet.rows.size() > step->rowsBefore) {
            sheet.rows.resize(step->rowsBefore);
        }
        sheet.revision = nextSheetRevision();
    }
    for (std::size_t i = 0; i < data.sheets.size(); ++i) {
        SheetData& sheet = data.sheets[i];
        sheet.changed = state_->changed[i];
        const std::optional<SheetSide>& side = state_->sides[i];
        if (!side) continue;
        sheet.records = side->records;
        sheet.owned = side->owned;
        sheet.formulas = side->formulas;
        sheet.frozenFormulas = side->frozenFormulas;
        sheet.hadIndex = side->hadIndex;
        sheet.revision = nextSheetRevision();
    }
    if (state_->globals) {
        data.globals = state_->globals->globals;
        data.ownedGlobals = state_->globals->ownedGlobals;
        data.substreams = state_->globals->substreams;
    }
    if (data.strings->size() > state_->strings) data.mutableStrings().truncate(state_->strings);
}

bool unchangedSinceRead(const Workbook& book) {
    const WorkbookData& data = book.data();
    return std::none_of(data.sheets.begin(), data.sheets.end(),
                        [](const SheetData& sheet) { return sheet.changed; }) &&
           data.ownedGlobals.empty() &&
           std::none_of(data.substreams.begin(), data.substreams.end(),
                        [](const Substream& sub) { return sub.rewritten != nullptr; });
}

std::size_t ChangeRecord::memoryBytes() const {
    std::size_t bytes = sizeof(State) + state_->steps.capacity() * sizeof(State::Step) +
                        state_->sides.capacity() * sizeof(state_->sides[0]);
    for (const State::Step& step : state_->steps) {
        bytes += step.row.cells.capacity() * sizeof(Cell) + step.runs.capacity() * sizeof(Run);
    }
    for (const auto& side : state_->sides) {
        if (side) bytes += bytesOf(*side);
    }
    if (state_->globals) {
        bytes += state_->globals->globals.capacity() * sizeof(KeptRecord) +
                 bytesOf(state_->globals->ownedGlobals) +
                 state_->globals->substreams.capacity() * sizeof(Substream);
    }
    return bytes;
}

}  // namespace clivara::archive
