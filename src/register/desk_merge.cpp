// Another desk saved the archive while this one worked: this desk's changes are made again
// on what the other one saved, customer by customer.
//
// The merge compares registers rather than replaying the journal's records one by one: the
// journal keeps a record's row, which means nothing in the other desk's archive, and not the
// customer as it was before the change; the register as first read, with the one in memory,
// says the same as the confirmed records (an addition modified later is one addition) and
// names every customer by its ID.
#include "register/desk_merge.h"

#include <algorithm>
#include <set>

#include "archive/archive_error.h"
#include "archive/sort/sort_archive.h"
#include "register/customer_rows.h"

namespace clivara::customers {

namespace {

using archive::ArchiveError;
using archive::ArchiveProblem;

archive::Sheet& sheetOf(archive::Workbook& book, const char* name) {
    archive::Sheet* sheet = book.sheet(name);
    if (sheet == nullptr) {
        throw ArchiveError(ArchiveProblem::SheetMissing,
                           std::string("Nell'archivio salvato dall'altro computer manca il "
                                       "foglio \"") +
                               name + "\".");
    }
    return *sheet;
}

const archive::Sheet& sheetOf(const archive::Workbook& book, const char* name) {
    return sheetOf(const_cast<archive::Workbook&>(book), name);
}

// The numeric value of an ID, when it has one; the counter never goes back below it.
double idValue(const std::string& id) {
    if (id.empty() || id.size() > 15) return 0;
    double value = 0;
    for (const char c : id) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace

CustomersById customersById(const archive::Sheet& clienti) {
    CustomersById customers;
    const int free = firstFreeCustomerRow(clienti);
    const int last = free == 0 ? archive::Sheet::kLastRow : free - 1;
    for (int row = kFirstCustomerRow; row <= last; ++row) {
        CustomerFields fields;
        for (int column = 1; column <= kFieldCount; ++column) {
            fields[static_cast<std::size_t>(column - 1)] = clienti.text(row, column);
        }
        const std::string id = fields[kIdColumn - 1];
        if (!id.empty()) customers.emplace(id, std::move(fields));
    }
    return customers;
}

MergePlan planDeskMerge(const CustomersById& opened, const CustomersById& ours,
                        const CustomersById& theirs, double theirsCounter,
                        std::string_view conflictMark) {
    MergePlan plan;
    DeskMergeReport& report = plan.report;
    std::set<std::string> taken;
    double counter = theirsCounter;
    for (const auto& [id, fields] : theirs) {
        taken.insert(id);
        counter = std::max(counter, idValue(id));
    }
    const double counterBefore = counter;
    auto nextId = [&] {
        std::string id;
        do {
            counter += 1;
            id = counterText(counter);
        } while (taken.contains(id));
        taken.insert(id);
        return id;
    };
    auto keepOursAsNew = [&](const std::string& id, CustomerFields fields) {
        const std::string newId = nextId();
        fields[kIdColumn - 1] = newId;
        std::string& note = fields[kFieldCount - 1];
        note = std::string(conflictMark) + " (ID " + id + ")" + (note.empty() ? "" : " - ") + note;
        plan.steps.push_back({MergeStep::Kind::Add, newId, std::move(fields)});
        return newId;
    };

    // Our additions first, in the order we gave them their IDs; then the changes of customers
    // that both desks had.
    std::vector<const CustomersById::value_type*> additions;
    for (const auto& entry : ours) {
        if (!opened.contains(entry.first)) additions.push_back(&entry);
    }
    std::stable_sort(additions.begin(), additions.end(), [](const auto* a, const auto* b) {
        return idValue(a->first) < idValue(b->first);
    });
    for (const auto* entry : additions) {
        CustomerFields fields = entry->second;
        const std::string newId = nextId();
        fields[kIdColumn - 1] = newId;
        const std::string& name = fields[kNameColumn - 1];
        report.added.push_back(name);
        if (newId != entry->first) report.renumbered.push_back({name, entry->first, newId});
        plan.steps.push_back({MergeStep::Kind::Add, newId, std::move(fields)});
    }
    for (const auto& [id, fields] : ours) {
        const auto before = opened.find(id);
        if (before == opened.end() || before->second == fields) continue;  // added, or unchanged
        const auto there = theirs.find(id);
        const std::string& name = fields[kNameColumn - 1];
        if (there == theirs.end()) {
            report.conflicts.push_back(
                {DeskMergeReport::ConflictKind::DeletedThere, name, id, keepOursAsNew(id, fields)});
        } else if (there->second == fields) {
            // The same change made there: nothing to do.
        } else if (there->second == before->second) {
            plan.steps.push_back({MergeStep::Kind::Modify, id, fields});
            report.modified.push_back(name);
        } else {
            report.conflicts.push_back(
                {DeskMergeReport::ConflictKind::ChangedThere, name, id, keepOursAsNew(id, fields)});
        }
    }
    for (const auto& [id, fields] : opened) {
        if (ours.contains(id)) continue;
        const auto there = theirs.find(id);
        if (there == theirs.end()) continue;  // deleted there too
        if (there->second == fields) {
            plan.steps.push_back({MergeStep::Kind::Delete, id, {}});
            report.deleted.push_back(fields[kNameColumn - 1]);
        } else {
            report.conflicts.push_back({DeskMergeReport::ConflictKind::ChangedThereNotDeleted,
                                        there->second[kNameColumn - 1],
                                        id,
                                        {}});
        }
    }
    if (counter != counterBefore) plan.counter = counterText(counter);
    return plan;
}

void applyDeskMerge(archive::Workbook& theirs, const MergePlan& plan) {
    archive::Sheet& clienti = sheetOf(theirs, "Clienti");
    archive::Sheet& codici = sheetOf(theirs, "Codici");
    for (const MergeStep& step : plan.steps) {
        switch (step.kind) {
            case MergeStep::Kind::Add: {
                const int row = firstFreeCustomerRow(clienti);
                if (row == 0) {
                    throw ArchiveError(ArchiveProblem::WriteFailed,
                                       "Archivio pieno: impossibile aggiungere altri clienti.");
                }
                for (int column = 1; column <= kFieldCount; ++column) {
                    setNewCustomerCell(clienti, row, column,
                                       step.fields[static_cast<std::size_t>(column - 1)]);
                }
                break;
            }
            case MergeStep::Kind::Modify:
                if (const int row = findCustomerRowById(clienti, step.id); row > 0) {
                    for (int column = 1; column <= kFieldCount; ++column) {
                        clienti.setText(row, column,
                                        step.fields[static_cast<std::size_t>(column - 1)]);
                    }
                }
                break;
            case MergeStep::Kind::Delete:
                if (const int row = findCustomerRowById(clienti, step.id); row > 0) {
                    clienti.deleteRow(row);
                }
                break;
        }
    }
    if (!plan.counter.empty()) codici.setText(2, 1, plan.counter);
    if (!plan.steps.empty()) archive::sortCustomerRows(clienti);
}

DeskMergeReport mergeOurChanges(archive::Workbook& theirs, const archive::Workbook& opened,
                                const archive::Workbook& ours, std::string_view conflictMark) {
    const MergePlan plan = planDeskMerge(customersById(sheetOf(opened, "Clienti")),
                                         customersById(sheetOf(ours, "Clienti")),
                                         customersById(sheetOf(theirs, "Clienti")),
                                         counterValue(sheetOf(theirs, "Codici")), conflictMark);
    applyDeskMerge(theirs, plan);
    return plan.report;
}

}  // namespace clivara::customers
