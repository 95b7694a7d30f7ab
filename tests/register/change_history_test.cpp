// Random additions, modifications and deletions made through the history on every fixture
// with a register (formulas, names, drawings, notes, pivot tables among them), then undone one
// by one: after each undo the workbook must write exactly the bytes it wrote before that
// change, and after the last one the bytes of the workbook as opened; redone, the bytes after.

#include "register/change_history.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "register/customer_fields.h"
#include "register/customer_rows.h"

using clivara::archive::Workbook;
using clivara::customers::ChangeHistory;
using clivara::customers::RegisterChange;
namespace customers = clivara::customers;

namespace {

std::vector<std::filesystem::path> registerFixtures() {
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(CLIVARA_FIXTURES)) {
        const std::string name = entry.path().filename().string();
        if (entry.path().extension() != ".xls" || name.starts_with("bad-")) continue;
        try {
            const Workbook book = Workbook::open(entry.path());
            if (book.sheet("Clienti") != nullptr && book.sheet("Codici") != nullptr) {
                found.push_back(entry.path());
            }
        } catch (const std::exception&) {
        }
    }
    return found;
}

std::string randomName(std::mt19937& random) {
    static const std::vector<std::string> pool = {"Rossi Srl", "aaa primo", "Zeta & C.", "Bianchi",
                                                  "Èlite Spa", "l'Angolo",  "",          "Verdi"};
    return pool[std::uniform_int_distribution<std::size_t>(0, pool.size() - 1)(random)];
}

// A change the window could make now: an addition under the next identifier, or a
// modification or deletion of a customer row.
RegisterChange randomChange(const Workbook& book, std::mt19937& random) {
    const auto& clienti = *book.sheet("Clienti");
    const int lastCustomer = clienti.isEmpty(2, 1) ? 1 : clienti.endDown(2, 1);
    RegisterChange change;
    const int kind = lastCustomer >= 2 && lastCustomer < 1000
                         ? std::uniform_int_distribution<int>(1, 3)(random)
                         : 1;
    change.kind = static_cast<RegisterChange::Kind>(kind);
    if (change.kind == RegisterChange::Kind::Addition) {
        change.row = customers::firstFreeCustomerRow(clienti);
        double counter = 500;  // a fixture's counter may hold a word
        try {
            counter = customers::counterValue(*book.sheet("Codici"));
        } catch (const std::exception&) {
        }
        change.counter = customers::counterText(counter + 1);
    } else {
        change.row = std::uniform_int_distribution<int>(2, lastCustomer)(random);
    }
    if (change.kind != RegisterChange::Kind::Deletion) {
        for (std::string& field : change.fields) field = randomName(random);
        change.fields[0] = randomName(random) + " " + std::to_string(random() % 100);
        change.fields[1] = change.kind == RegisterChange::Kind::Addition
                               ? change.counter
                               : clienti.text(change.row, customers::kIdColumn);
    }
    return change;
}

TEST(ChangeHistory, UndoingEveryChangeGivesBackEachStateRecordForRecord) {
    const std::vector<std::filesystem::path> fixtures = registerFixtures();
    ASSERT_GE(fixtures.size(), 5u);
    std::mt19937 random(21);
    for (const auto& path : fixtures) {
        SCOPED_TRACE(path.filename().string());
        for (int round = 0; round < 3; ++round) {
            Workbook book = Workbook::open(path);
            ChangeHistory history;
            std::vector<std::vector<std::uint8_t>> states{book.toBytes()};
            for (int n = 0; n < 8; ++n) {
                history.apply(book, randomChange(book, random));
                states.push_back(book.toBytes());
            }
            std::size_t undone = 0;
            while (history.nextUndo() != nullptr) {
                history.undo(book);
                ++undone;
                ASSERT_EQ(book.toBytes(), states[states.size() - 1 - undone]) << undone;
            }
            // Only a change that had to turn formulas into values stops the way back.
            EXPECT_EQ(history.atOpenedState(), undone == states.size() - 1);
            for (std::size_t n = states.size() - undone; n < states.size(); ++n) {
                history.redo(book);
                ASSERT_EQ(book.toBytes(), states[n]) << n;
            }
            EXPECT_EQ(history.nextRedo(), nullptr);
        }
    }
}

TEST(ChangeHistory, NamesTheCustomerAndDropsRedoOnANewChange) {
    Workbook book = Workbook::open(std::filesystem::path(CLIVARA_FIXTURES) / "lo-clienti.xls");
    const std::vector<std::uint8_t> opened = book.toBytes();
    ChangeHistory history;
    EXPECT_TRUE(history.atOpenedState());
    const std::string deletedName = book.sheet("Clienti")->text(3, 1);
    history.apply(book, {RegisterChange::Kind::Deletion, 3, {}, {}});
    ASSERT_NE(history.nextUndo(), nullptr);
    EXPECT_EQ(history.nextUndo()->name, deletedName);
    EXPECT_FALSE(history.atOpenedState());

    EXPECT_EQ(history.undo(book).name, deletedName);
    EXPECT_TRUE(history.atOpenedState());
    EXPECT_EQ(book.toBytes(), opened);
    EXPECT_EQ(book.sheet("Clienti")->text(3, 1), deletedName);
    ASSERT_NE(history.nextRedo(), nullptr);

    RegisterChange addition{RegisterChange::Kind::Addition,
                            customers::firstFreeCustomerRow(*book.sheet("Clienti")),
                            {},
                            "999"};
    addition.fields[0] = "Rossi Srl";
    addition.fields[1] = "999";
    history.apply(book, addition);
    EXPECT_EQ(history.nextRedo(), nullptr);
    EXPECT_EQ(history.nextUndo()->name, "Rossi Srl");
    history.undo(book);
    EXPECT_EQ(history.nextUndo(), nullptr);
    EXPECT_EQ(book.toBytes(), opened);
    EXPECT_EQ(customers::counterValue(*book.sheet("Codici")),
              customers::counterValue(
                  *Workbook::open(std::filesystem::path(CLIVARA_FIXTURES) / "lo-clienti.xls")
                       .sheet("Codici")));
}

}  // namespace
