#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "archive/workbook.h"
#include "register/customer_fields.h"

namespace clivara::customers {

// The thirteen fields of a customer; fields[0] is column A, fields[1] the ID.
using CustomerFields = std::array<std::string, kFieldCount>;
// The customers of a register by ID. Of two rows with one ID the first counts, as
// findCustomerRowById finds it.
using CustomersById = std::map<std::string, CustomerFields>;

// The customer rows of "Clienti": row 2 down to the last before the first empty cell in A.
CustomersById customersById(const archive::Sheet& clienti);

// What this desk changed, merged onto the archive another desk (or an office suite) saved
// meanwhile, as the user is told of it.
struct DeskMergeReport {
    struct Renumbered {
        std::string name;
        std::string ourId;  // the ID this desk gave it
        std::string newId;  // the ID it has in the merged archive
    };
    enum class ConflictKind {
        ChangedThere,            // modified here and there differently: both are kept
        DeletedThere,            // modified here, deleted there: ours is kept as a new customer
        ChangedThereNotDeleted,  // deleted here, modified there: theirs stays
    };
    struct Conflict {
        ConflictKind kind = ConflictKind::ChangedThere;
        std::string name;
        std::string id;
        std::string keptAsId;  // where ours is kept as a new customer; empty otherwise
    };
    std::vector<std::string> added;  // names, in the order of their IDs
    std::vector<Renumbered> renumbered;
    std::vector<std::string> modified;
    std::vector<std::string> deleted;
    std::vector<Conflict> conflicts;

    bool empty() const {
        return added.empty() && modified.empty() && deleted.empty() && conflicts.empty();
    }
};

// The change of one customer that the merge makes on the other desk's register.
struct MergeStep {
    enum class Kind { Add, Modify, Delete };
    Kind kind = Kind::Add;
    std::string id;         // the customer changed, or the new customer's ID
    CustomerFields fields;  // of Add and Modify
};

struct MergePlan {
    std::vector<MergeStep> steps;
    std::string counter;  // the counter after the additions; empty when none was added
    DeskMergeReport report;
};

// Three-way merge of registers: `opened` as this desk first read it, `ours` as it is now,
// `theirs` as the other desk saved it (its counter `theirsCounter`). An addition of ours gets
// the next free ID after theirs; a modification or deletion of ours applies to the customer
// with the same ID when theirs is still as we first read it (or already as ours); otherwise
// it is a conflict. Of a conflicting modification both versions are kept: theirs under its ID,
// ours as a new customer whose second note begins with `conflictMark` and the ID it had.
MergePlan planDeskMerge(const CustomersById& opened, const CustomersById& ours,
                        const CustomersById& theirs, double theirsCounter,
                        std::string_view conflictMark);

// Makes the plan's changes on the workbook of the other desk and sorts its customers as an
// addition does. Throws ArchiveError when a sheet is missing or the sheet is full.
void applyDeskMerge(archive::Workbook& theirs, const MergePlan& plan);

// Plans and applies in one: our changes from `opened` to `ours` onto `theirs`.
DeskMergeReport mergeOurChanges(archive::Workbook& theirs, const archive::Workbook& opened,
                                const archive::Workbook& ours, std::string_view conflictMark);

}  // namespace clivara::customers
