#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "archive/book/change_record.h"
#include "archive/sort/sort_archive.h"
#include "archive/workbook.h"
#include "register/recovery_journal.h"

namespace clivara::customers {

// The confirmed changes of the register since the archive was opened, each with what it takes
// to take it back (an undo) and to make it again (a redo). Undoing puts the rows, the counter
// in "Codici" and everything anchored to the rows back as they were before the change, so that
// undoing every change gives back the workbook as it was opened, record for record.
//
// A change is recorded around the code that makes it: begin() before the first write,
// noteSort() after the sort, commit() at the end; or made by apply(), as the journal's replay
// makes it.
class ChangeHistory {
  public:
    struct Entry {
        RegisterChange change;  // for a deletion, only kind and row
        std::string name;       // the customer's "Ragione Sociale"
        std::string id;         // and identifier: after the change, or the deleted row's
        archive::ChangeRecord record;
    };

    // Before a change of this kind at `row` of "Clienti" writes anything.
    void begin(const archive::Workbook& book, RegisterChange::Kind kind, int row);
    // After the sort that follows an addition or a modification.
    void noteSort(const archive::Workbook& book, const archive::AppliedSort& sorted);
    // After the change: it becomes the last one to undo, and what was undone is no longer
    // redone. `change` carries the fields as written.
    void commit(const archive::Workbook& book, RegisterChange change);
    // The change begun was taken back by other means (a failure): nothing is recorded.
    void abandon();

    // Makes `change` on the workbook and records it.
    void apply(archive::Workbook& book, const RegisterChange& change);

    // The change the next undo / redo acts on; nullptr when there is none.
    const Entry* nextUndo() const;
    const Entry* nextRedo() const;
    // Take back the last change, or make again the last one taken back; give what they acted
    // on. The workbook must be as the history left it.
    const Entry& undo(archive::Workbook& book);
    const Entry& redo(archive::Workbook& book);

    // True when the workbook is the one that was opened: every change was undone, and none
    // that could not be taken back was ever made.
    bool atOpenedState() const { return done_ == 0 && !lostOrigin_; }
    // The workbook was replaced by another (another desk's save with our changes merged onto
    // it): no step can be taken back on it.
    void forgetAll();
    // Bytes the history holds.
    std::size_t memoryBytes() const;

  private:
    struct Pending {
        RegisterChange::Kind kind;
        std::string name, id;
        archive::ChangeRecord record;
    };
    Entry make(archive::Workbook& book, const RegisterChange& change,
               const archive::ChangeRecord& before);
    std::vector<Entry> entries_;
    std::size_t done_ = 0;          // entries_[0, done_) are made, the rest undone
    std::vector<Pending> pending_;  // at most one: the change begun and not yet committed
    bool lostOrigin_ = false;
};

}  // namespace clivara::customers
