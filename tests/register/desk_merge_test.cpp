// The merge of this desk's changes onto another desk's save: random histories on both sides
// from one register, checked against what each customer must become; and the merge made on a
// real workbook (sorted, counter moved, the conflicting version marked).
#include "register/desk_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "archive/book/new_archive.h"
#include "register/customer_rows.h"

namespace {

using namespace clivara::customers;

struct Side {
    CustomersById customers;
    double counter = 0;
};

CustomerFields randomFields(std::mt19937& random, const std::string& id) {
    // Few values, so that both desks now and then make the same change.
    static const char* kNames[] = {"Alfa", "Beta", "Gamma", "Delta"};
    CustomerFields fields;
    fields[0] = kNames[random() % 4];
    fields[1] = id;
    fields[7] = std::to_string(random() % 3);
    return fields;
}

std::string anyId(std::mt19937& random, const CustomersById& customers) {
    auto it = customers.begin();
    std::advance(it, static_cast<long>(random() % customers.size()));
    return it->first;
}

void randomHistory(std::mt19937& random, Side& side, int steps) {
    for (int i = 0; i < steps; ++i) {
        const unsigned what = side.customers.empty() ? 0 : random() % 3;
        if (what == 0) {
            side.counter += 1;
            const std::string id = counterText(side.counter);
            side.customers[id] = randomFields(random, id);
        } else if (what == 1) {
            const std::string id = anyId(random, side.customers);
            side.customers[id] = randomFields(random, id);
        } else {
            side.customers.erase(anyId(random, side.customers));
        }
    }
}

CustomerFields withoutIdAndNote(CustomerFields fields) {
    fields[1].clear();
    fields[12].clear();
    return fields;
}

CustomersById applied(CustomersById theirs, const MergePlan& plan) {
    for (const MergeStep& step : plan.steps) {
        if (step.kind == MergeStep::Kind::Delete) {
            theirs.erase(step.id);
        } else {
            EXPECT_TRUE(step.kind == MergeStep::Kind::Modify || !theirs.contains(step.id));
            theirs[step.id] = step.fields;
        }
    }
    return theirs;
}

TEST(DeskMerge, RandomHistoriesOnBothSidesMergeAsEachCustomerRequires) {
    for (unsigned seed = 1; seed <= 400; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 random(seed);
        Side base;
        randomHistory(random, base, static_cast<int>(random() % 8));
        Side ours = base;
        Side theirs = base;
        randomHistory(random, ours, static_cast<int>(random() % 6));
        randomHistory(random, theirs, static_cast<int>(random() % 6));

        const MergePlan plan = planDeskMerge(base.customers, ours.customers, theirs.customers,
                                             theirs.counter, "CONFLITTO");
        const CustomersById result = applied(theirs.customers, plan);

        // The rows the merge adds: our additions, and our versions kept beside theirs.
        std::vector<CustomerFields> expectedNew;
        std::size_t conflicts = 0;
        for (const auto& [id, fields] : ours.customers) {
            const auto before = base.customers.find(id);
            if (before == base.customers.end()) {
                expectedNew.push_back(withoutIdAndNote(fields));
                continue;
            }
            if (before->second == fields) continue;
            const auto there = theirs.customers.find(id);
            if (there != theirs.customers.end() &&
                (there->second == before->second || there->second == fields)) {
                EXPECT_EQ(result.at(id), fields);
            } else {
                ++conflicts;
                expectedNew.push_back(withoutIdAndNote(fields));
                if (there != theirs.customers.end()) EXPECT_EQ(result.at(id), there->second);
            }
        }
        for (const auto& [id, fields] : base.customers) {
            if (ours.customers.contains(id)) continue;
            const auto there = theirs.customers.find(id);
            if (there == theirs.customers.end() || there->second == fields) {
                EXPECT_FALSE(result.contains(id));
            } else {
                ++conflicts;
                EXPECT_EQ(result.at(id), there->second);
            }
        }
        // Whatever we left alone is as the other desk saved it.
        for (const auto& [id, fields] : theirs.customers) {
            const auto before = base.customers.find(id);
            const bool oursTouched = before != base.customers.end() &&
                                     ours.customers.find(id) != ours.customers.end() &&
                                     ours.customers.at(id) != before->second;
            const bool oursDeleted = before != base.customers.end() && !ours.customers.contains(id);
            if (!oursTouched && !oursDeleted) EXPECT_EQ(result.at(id), fields);
        }
        std::vector<CustomerFields> actualNew;
        double highest = theirs.counter;
        for (const auto& [id, fields] : theirs.customers) {
            highest = std::max(highest, std::stod(id));
        }
        for (const auto& [id, fields] : result) {
            if (theirs.customers.contains(id)) continue;
            EXPECT_GT(std::stod(id), highest) << "a new ID after the other desk's";
            actualNew.push_back(withoutIdAndNote(fields));
        }
        std::sort(expectedNew.begin(), expectedNew.end());
        std::sort(actualNew.begin(), actualNew.end());
        EXPECT_EQ(actualNew, expectedNew);
        EXPECT_EQ(plan.report.conflicts.size(), conflicts);
        if (!actualNew.empty()) {
            EXPECT_EQ(std::stod(plan.counter), highest + static_cast<double>(actualNew.size()));
        }
    }
}

TEST(DeskMerge, MergedOnAWorkbookSortedWithTheCounterMovedAndTheConflictMarked) {
    clivara::archive::Workbook opened = clivara::archive::emptyArchive();
    auto& clienti = *opened.sheet("Clienti");
    const char* rows[][2] = {{"Bianchi", "1"}, {"Rossi", "2"}};
    for (int i = 0; i < 2; ++i) {
        clienti.setText(i + 2, 1, rows[i][0]);
        clienti.setText(i + 2, 2, rows[i][1]);
    }
    opened.sheet("Codici")->setText(2, 1, "2");

    clivara::archive::Workbook ours = opened;  // Rossi's note changed, "Conti" added as 3
    ours.sheet("Clienti")->setText(3, 12, "nostra");
    ours.sheet("Clienti")->setText(4, 1, "Conti");
    ours.sheet("Clienti")->setText(4, 2, "3");
    clivara::archive::Workbook theirs = opened;  // Rossi's note changed too, "Abati" added as 3
    theirs.sheet("Clienti")->setText(3, 12, "loro");
    theirs.sheet("Clienti")->setText(4, 1, "Abati");
    theirs.sheet("Clienti")->setText(4, 2, "3");
    theirs.sheet("Codici")->setText(2, 1, "3");

    const DeskMergeReport report = mergeOurChanges(theirs, opened, ours, "Versione di pc1");
    const auto& merged = *theirs.sheet("Clienti");
    std::vector<std::string> names;
    for (int row = 2; row <= 6; ++row) {
        names.push_back(merged.text(row, 1) + "/" + merged.text(row, 2) + "/" +
                        merged.text(row, 12) + "/" + merged.text(row, 13));
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"Abati/3//", "Bianchi/1//", "Conti/4//", "Rossi/2/loro/",
                                        "Rossi/5/nostra/Versione di pc1 (ID 2)"}));
    EXPECT_EQ(theirs.sheet("Codici")->text(2, 1), "5");
    ASSERT_EQ(report.renumbered.size(), 1u);
    EXPECT_EQ(report.renumbered[0].newId, "4");
    ASSERT_EQ(report.conflicts.size(), 1u);
    EXPECT_EQ(report.conflicts[0].keptAsId, "5");
}

}  // namespace
