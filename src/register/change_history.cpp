#include "register/change_history.h"

#include <array>
#include <stdexcept>
#include <utility>

#include "archive/archive_error.h"
#include "register/customer_fields.h"
#include "register/customer_rows.h"

namespace clivara::customers {

using archive::Workbook;

namespace {

const archive::Sheet& sheetNamed(const Workbook& book, const char* name) {
    const archive::Sheet* sheet = book.sheet(name);
    if (sheet == nullptr) {
        throw archive::ArchiveError(archive::ArchiveProblem::SheetMissing,
                                    std::string("Nell'archivio manca il foglio \"") + name + "\".");
    }
    return *sheet;
}

}  // namespace

void ChangeHistory::begin(const Workbook& book, RegisterChange::Kind kind, int row) {
    const archive::Sheet& clienti = sheetNamed(book, "Clienti");
    pending_.clear();
    pending_.push_back({kind, {}, {}, archive::ChangeRecord(book)});
    Pending& pending = pending_.back();
    switch (kind) {
        case RegisterChange::Kind::Addition:
            pending.record.keepRow(book, clienti, row);
            pending.record.keepRow(book, sheetNamed(book, "Codici"), 2);
            break;
        case RegisterChange::Kind::Modification:
            pending.record.keepRow(book, clienti, row);
            break;
        case RegisterChange::Kind::Deletion:
            pending.name = clienti.text(row, kNameColumn);
            pending.id = clienti.text(row, kIdColumn);
            pending.record.keepDeletedRow(book, clienti, row);
            break;
    }
}

void ChangeHistory::noteSort(const Workbook& book, const archive::AppliedSort& sorted) {
    if (pending_.empty() || sorted.order.empty()) return;
    pending_.back().record.notePermutation(book, sheetNamed(book, "Clienti"), sorted.firstRow, 1,
                                           kFieldCount, sorted.order);
}

void ChangeHistory::commit(const Workbook& book, RegisterChange change) {
    if (pending_.empty()) throw std::logic_error("ChangeHistory::commit without begin");
    Pending pending = std::move(pending_.back());
    pending_.clear();
    pending.record.finish(book);
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(done_), entries_.end());
    if (!pending.record.reversible()) {
        // Formulas had to become values: neither this change nor the ones before it can be
        // taken back through it.
        entries_.clear();
        done_ = 0;
        lostOrigin_ = true;
        return;
    }
    Entry entry{std::move(change), std::move(pending.name), std::move(pending.id),
                std::move(pending.record)};
    if (entry.change.kind != RegisterChange::Kind::Deletion) {
        entry.name = entry.change.fields[kNameColumn - 1];
        entry.id = entry.change.fields[kIdColumn - 1];
    }
    entries_.push_back(std::move(entry));
    ++done_;
}

void ChangeHistory::abandon() {
    pending_.clear();
}

namespace {

// The order the modification handler writes the cells in: the identifier, the name, C to M.
constexpr std::array<int, kFieldCount> kModificationOrder = {2, 1, 3,  4,  5,  6, 7,
                                                             8, 9, 10, 11, 12, 13};

// The change made again on the workbook as it was before it: the same cells written, and the
// rows reordered as the sort reordered them then (the same rows in the same order sort the
// same way), without sorting anew.
archive::AppliedSort remake(Workbook& book, const RegisterChange& change,
                            const archive::ChangeRecord& before) {
    archive::Sheet& clienti = *book.sheet("Clienti");
    switch (change.kind) {
        case RegisterChange::Kind::Addition:
            for (int column = 1; column <= kFieldCount; ++column) {
                setNewCustomerCell(clienti, change.row, column, change.fields[column - 1]);
            }
            book.sheet("Codici")->setText(2, 1, change.counter);
            break;
        case RegisterChange::Kind::Modification:
            for (const int column : kModificationOrder) {
                clienti.setText(change.row, column, change.fields[column - 1]);
            }
            break;
        case RegisterChange::Kind::Deletion:
            clienti.deleteRow(change.row);
            return {};
    }
    archive::AppliedSort sorted;
    sorted.order = before.lastPermutation(book, clienti, sorted.firstRow);
    if (!sorted.order.empty()) {
        clienti.permuteRows(sorted.firstRow, 1, kFieldCount, sorted.order);
    }
    return sorted;
}

}  // namespace

ChangeHistory::Entry ChangeHistory::make(Workbook& book, const RegisterChange& change,
                                         const archive::ChangeRecord& before) {
    begin(book, change.kind, change.row);
    noteSort(book, remake(book, change, before));
    Pending pending = std::move(pending_.back());
    pending_.clear();
    pending.record.finish(book);
    Entry entry{change, std::move(pending.name), std::move(pending.id), std::move(pending.record)};
    if (change.kind != RegisterChange::Kind::Deletion) {
        entry.name = change.fields[kNameColumn - 1];
        entry.id = change.fields[kIdColumn - 1];
    }
    return entry;
}

void ChangeHistory::apply(Workbook& book, const RegisterChange& change) {
    begin(book, change.kind, change.row);
    noteSort(book, applyChange(book, change));
    commit(book, change);
}

const ChangeHistory::Entry* ChangeHistory::nextUndo() const {
    return done_ > 0 ? &entries_[done_ - 1] : nullptr;
}

const ChangeHistory::Entry* ChangeHistory::nextRedo() const {
    return done_ < entries_.size() ? &entries_[done_] : nullptr;
}

const ChangeHistory::Entry& ChangeHistory::undo(Workbook& book) {
    if (done_ == 0) throw std::logic_error("ChangeHistory::undo with nothing to undo");
    entries_[done_ - 1].record.undo(book);
    return entries_[--done_];
}

const ChangeHistory::Entry& ChangeHistory::redo(Workbook& book) {
    if (done_ >= entries_.size()) throw std::logic_error("ChangeHistory::redo with nothing");
    Entry remade = make(book, entries_[done_].change, entries_[done_].record);
    if (!remade.record.reversible()) {
        // The same change on the same workbook froze nothing the first time.
        throw std::logic_error("ChangeHistory::redo: the change is no longer reversible");
    }
    entries_[done_] = std::move(remade);
    return entries_[done_++];
}

std::size_t ChangeHistory::memoryBytes() const {
    std::size_t bytes = sizeof(*this) + entries_.capacity() * sizeof(Entry);
    for (const Entry& entry : entries_) {
        bytes += entry.record.memoryBytes() + entry.name.capacity() + entry.id.capacity() +
                 entry.change.counter.capacity();
        for (const std::string& field : entry.change.fields) bytes += field.capacity();
    }
    return bytes;
}

void ChangeHistory::forgetAll() {
    entries_.clear();
    pending_.clear();
    done_ = 0;
    lostOrigin_ = true;
}

}  // namespace clivara::customers
