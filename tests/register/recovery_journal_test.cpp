// The journal of confirmed changes: what it gives back equals the register the changes made,
// also when the writing process is killed at any moment; and an archive save killed half-way
// leaves the old file or the new one, whole.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "archive/book/new_archive.h"
#include "register/customer_rows.h"
#include "register/recovery_journal.h"

namespace {

using clivara::archive::Sheet;
using clivara::archive::Workbook;
using namespace clivara::customers;

// Every text of the customer rows and the counter: what the user sees of a register.
struct Register {
    std::vector<std::vector<std::string>> rows;
    std::string counter;
    bool operator==(const Register&) const = default;
};

Register registerOf(const Workbook& book) {
    Register result;
    const Sheet& clienti = *book.sheet("Clienti");
    for (int row = 1; row <= clienti.lastUsedRow(); ++row) {
        std::vector<std::string> texts;
        for (int column = 1; column <= kFieldCount; ++column) {
            texts.push_back(clienti.text(row, column));
        }
        result.rows.push_back(std::move(texts));
    }
    result.counter = book.sheet("Codici")->text(2, 1);
    return result;
}

// A small register of a dozen customers.
Workbook startingBook() {
    Workbook book = clivara::archive::emptyArchive();
    Sheet& clienti = *book.sheet("Clienti");
    for (int i = 0; i < 12; ++i) {
        const int row = 2 + i;
        clienti.setText(row, 1, "Cliente " + std::string(1, static_cast<char>('A' + (i * 5) % 12)));
        clienti.setText(row, 2, std::to_string(i + 1));
        clienti.setText(row, 3, "0" + std::to_string(1 + i % 9) + "/03/2008");
        clienti.setText(row, 6, "Località " + std::to_string(i));
    }
    book.sheet("Codici")->setText(2, 1, "12");
    return book;
}

// The n-th change of a fixed sequence, made the way the handlers make it: additions take the
// next identifier and the first free row, modifications and deletions an existing row.
RegisterChange makeChange(Workbook& book, std::mt19937& random) {
    Sheet& clienti = *book.sheet("Clienti");
    const int customers = firstFreeCustomerRow(clienti) - 2;
    RegisterChange change;
    const unsigned pick = random() % 10;
    if (customers < 3 || pick < 4) {
        change.kind = RegisterChange::Kind::Addition;
        change.row = firstFreeCustomerRow(clienti);
        change.counter = counterText(counterValue(*book.sheet("Codici")) + 1);
        change.fields[1] = change.counter;
    } else {
        change.kind =
            pick < 8 ? RegisterChange::Kind::Modification : RegisterChange::Kind::Deletion;
        change.row = 2 + static_cast<int>(random() % static_cast<unsigned>(customers));
        change.fields[1] = clienti.text(change.row, 2);
    }
    change.fields[0] = "Nome " + std::to_string(random() % 1000);
    change.fields[2] = "1" + std::to_string(random() % 9) + "/05/2009";
    change.fields[11] = std::string(random() % 300, 'n');  // notes of varying length
    applyChange(book, change);
    return change;
}

class RecoveryJournalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("recovery-journal-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        archive = folder / "Archivio.xls";
        startingBook().save(archive);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    ArchiveIdentity opened() const { return *statArchive(archive); }

    std::filesystem::path folder;
    std::filesystem::path archive;
};

TEST_F(RecoveryJournalTest, GivesBackTheRegisterAfterTheLastChangeWithTheArchiveItCameFrom) {
    EXPECT_FALSE(RecoveryJournal::read(archive));  // nothing written before the first change

    Workbook live = Workbook::open(archive);
    std::mt19937 random(7);
    {
        RecoveryJournal journal(archive, opened());
        for (int i = 0; i < 40; ++i) {
            journal.record(live, makeChange(live, random));
        }
        journal.close();  // as a kill leaves it: nothing removed
    }
    std::optional<RecoveredRegister> recovered = RecoveryJournal::read(archive);
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->changes, 40);
    EXPECT_EQ(recovered->pid, ::getpid());
    EXPECT_EQ(registerOf(recovered->book), registerOf(live));
    EXPECT_NE(registerOf(recovered->book), registerOf(Workbook::open(archive)));
    const std::optional<ArchiveIdentity> now = identifyArchive(archive);
    EXPECT_EQ(recovered->archive.sha256, now->sha256);
    EXPECT_EQ(recovered->archive.size, now->size);
    EXPECT_LE(recovered->firstChange, recovered->lastChange);

    // A later run takes the journal over and goes on; a change that had to be taken back is
    // covered by a new base.
    {
        RecoveryJournal journal(archive, opened());
        journal.adopt();
        Workbook book = std::move(recovered->book);
        journal.record(book, makeChange(book, random));
        Workbook before = book;
        journal.record(book, makeChange(book, random));
        journal.rebase(before);
        journal.record(before, makeChange(before, random));
        journal.close();
        recovered = RecoveryJournal::read(archive);
        ASSERT_TRUE(recovered);
        EXPECT_EQ(recovered->changes, 43);
        EXPECT_EQ(registerOf(recovered->book), registerOf(before));
        EXPECT_TRUE(journal.discard());
    }
    EXPECT_FALSE(RecoveryJournal::read(archive));
    EXPECT_FALSE(std::filesystem::exists(RecoveryJournal::pathFor(archive)));
}

TEST_F(RecoveryJournalTest, AnArchiveChangedBeforeTheFirstChangeIsNeverTakenForTheOpenedOne) {
    const ArchiveIdentity atOpen = opened();
    Workbook live = Workbook::open(archive);
    // The office suite saves the file while the program runs.
    Workbook other = startingBook();
    other.sheet("Clienti")->setText(2, 1, "Cambiato fuori");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    other.save(archive);

    std::mt19937 random(3);
    RecoveryJournal journal(archive, atOpen);
    journal.record(live, makeChange(live, random));
    journal.close();
    const std::optional<RecoveredRegister> recovered = RecoveryJournal::read(archive);
    ASSERT_TRUE(recovered);
    EXPECT_TRUE(recovered->archive.sha256.empty());
    EXPECT_NE(recovered->archive.sha256, identifyArchive(archive)->sha256);
}

TEST_F(RecoveryJournalTest, AStaleLogWithoutItsJournalIsNotReadIntoANewOne) {
    Workbook live = Workbook::open(archive);
    std::mt19937 random(11);
    {
        RecoveryJournal journal(archive, opened());
        for (int i = 0; i < 5; ++i) journal.record(live, makeChange(live, random));
        journal.close();
    }
    // Removal stopped after the main file: the log stays behind.
    std::filesystem::remove(RecoveryJournal::pathFor(archive));
    Workbook fresh = Workbook::open(archive);
    RecoveryJournal journal(archive, opened());
    journal.record(fresh, makeChange(fresh, random));
    journal.close();
    const std::optional<RecoveredRegister> recovered = RecoveryJournal::read(archive);
    ASSERT_TRUE(recovered);
    EXPECT_EQ(recovered->changes, 1);
    EXPECT_EQ(registerOf(recovered->book), registerOf(fresh));
}

// A child makes the changes of a fixed sequence and tells the parent through a pipe when it
// is ready and after each record() returned; the parent kills it at a random moment (also
// during the first change, which stores the whole workbook) and reads the journal back. The
// moments are drawn over twice the time the first changes take here, measured first,
// so that a slow disk or a sanitizer build spreads the kills the same way.
TEST_F(RecoveryJournalTest, KilledAtAnyMomentTheJournalHoldsEveryAcknowledgedChangeAndNoTornOne) {
    constexpr int kMaxChanges = 120;
    constexpr int kTimedChanges = 15;
    constexpr unsigned kSeed = 2024;
    std::vector<Register> expected;  // expected[k]: the register after k changes
    {
        Workbook book = Workbook::open(archive);
        std::mt19937 random(kSeed);
        expected.push_back(registerOf(book));
        for (int i = 0; i < kMaxChanges; ++i) {
            makeChange(book, random);
            expected.push_back(registerOf(book));
        }
    }
    std::chrono::microseconds window{};
    {
        Workbook book = Workbook::open(archive);
        std::mt19937 random(kSeed);
        RecoveryJournal journal(archive, *statArchive(archive));
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < kTimedChanges; ++i) journal.record(book, makeChange(book, random));
        window = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - start);
        journal.close();
    }
    const auto windowMicroseconds =
        static_cast<unsigned>(std::max<long long>(2 * window.count(), 1000));

    std::mt19937 timing(99);
    int survivingChanges = 0;
    int killedBeforeAny = 0;
    int killedAfterSeveral = 0;
    for (int round = 0; round < 250; ++round) {
        RecoveryJournal::remove(archive);
        int ack[2];
        ASSERT_EQ(::pipe(ack), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ack[0]);
            Workbook book = Workbook::open(archive);
            std::mt19937 random(kSeed);
            RecoveryJournal journal(archive, *statArchive(archive));
            int ready = 0;
            if (::write(ack[1], &ready, sizeof ready) != sizeof ready) ::_exit(2);
            for (int i = 1; i <= kMaxChanges; ++i) {
                journal.record(book, makeChange(book, random));
                if (::write(ack[1], &i, sizeof i) != sizeof i) ::_exit(2);
            }
            ::pause();
            ::_exit(0);
        }
        ::close(ack[1]);
        int value = -1;
        ASSERT_EQ(::read(ack[0], &value, sizeof value), static_cast<ssize_t>(sizeof value));
        std::this_thread::sleep_for(std::chrono::microseconds(timing() % windowMicroseconds));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself: " << status;
        int acknowledged = 0;
        while (::read(ack[0], &value, sizeof value) == sizeof value) acknowledged = value;
        ::close(ack[0]);

        const std::optional<RecoveredRegister> recovered = RecoveryJournal::read(archive);
        const int held = recovered ? recovered->changes : 0;
        // The change being written when the kill came may or may not have reached the disk.
        ASSERT_TRUE(held == acknowledged || held == acknowledged + 1)
            << "round " << round << ": " << held << " held, " << acknowledged << " acknowledged";
        if (recovered) {
            ASSERT_EQ(registerOf(recovered->book), expected[static_cast<std::size_t>(held)])
                << "round " << round << " after " << held << " changes";
        }
        survivingChanges += held;
        killedBeforeAny += held == 0 ? 1 : 0;
        killedAfterSeveral += held >= 3 ? 1 : 0;
    }
    // The kills landed both before the first change and after several.
    EXPECT_GT(killedBeforeAny, 0);
    EXPECT_GT(killedAfterSeveral, 0);
    EXPECT_GT(survivingChanges, 0);
}

// The same for the archive itself: a child saves two different registers over it in turn and
// is killed at a random moment; the file is always one of the two, whole.
TEST_F(RecoveryJournalTest, ASaveKilledHalfWayLeavesTheOldArchiveOrTheNewOneWhole) {
    Workbook first = Workbook::open(archive);
    Workbook second = first;
    std::mt19937 random(5);
    for (int i = 0; i < 30; ++i) makeChange(second, random);
    const Register one = registerOf(first);
    const Register two = registerOf(second);
    ASSERT_NE(one, two);

    // The kills are spread over the time a few saves take on this machine.
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) (i % 2 == 0 ? second : first).save(archive);
    const auto window = static_cast<unsigned>(std::max<long long>(
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                              start)
            .count(),
        1000));

    // A fresh child is slower than the measured saves (its first writes fault in copied pages,
    // far more so under the sanitizers), so every other round waits until the child has saved
    // once before the random delay starts: then kills also land in the later saves, after the
    // second register has been in the archive's place.
    std::mt19937 timing(17);
    int sawSecond = 0;
    for (int round = 0; round < 150; ++round) {
        int saved[2];
        ASSERT_EQ(::pipe(saved), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(saved[0]);
            for (int i = 0;; ++i) {
                (i % 2 == 0 ? second : first).save(archive);
                if (i == 0 && ::write(saved[1], &i, sizeof i) != sizeof i) ::_exit(2);
            }
        }
        ::close(saved[1]);
        if (round % 2 == 1) {
            int value = -1;
            ASSERT_EQ(::read(saved[0], &value, sizeof value), static_cast<ssize_t>(sizeof value));
        }
        std::this_thread::sleep_for(std::chrono::microseconds(timing() % window));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        ::close(saved[0]);
        const Register found = registerOf(Workbook::open(archive));
        ASSERT_TRUE(found == one || found == two) << "round " << round;
        sawSecond += found == two ? 1 : 0;
    }
    EXPECT_GT(sawSecond, 0);
    // Temporary files of the killed saves may stay behind, but never in the archive's place.
    EXPECT_TRUE(std::filesystem::is_regular_file(archive));
}

}  // namespace
