// The desk lock: of desks starting at once exactly one wins, a desk removes only a lock that
// holds its own text, and its sign of life stops once another desk has taken the lock over.
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <fstream>
#include <thread>
#include <vector>

#include "operations/desk_lock.h"

using clivara::operations::DeskLock;
using clivara::operations::LockHolder;

namespace {

std::filesystem::path archiveIn(const QTemporaryDir& dir) {
    return std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
}

}  // namespace

class DeskLockTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void ofDesksStartingAtOnceOneWins() {
        QTemporaryDir dir;
        const std::filesystem::path archive = archiveIn(dir);
        for (int round = 0; round < 50; ++round) {
            std::vector<std::unique_ptr<DeskLock>> desks;
            for (int i = 0; i < 4; ++i) desks.push_back(std::make_unique<DeskLock>(archive));
            std::atomic<int> wins{0};
            std::atomic<bool> go{false};
            std::vector<std::thread> starts;
            for (auto& desk : desks) {
                starts.emplace_back([&, d = desk.get()] {
                    while (!go) std::this_thread::yield();
                    if (d->acquire() == DeskLock::Result::Acquired) ++wins;
                });
            }
            go = true;
            for (std::thread& start : starts) start.join();
            QCOMPARE(wins.load(), 1);
            for (auto& desk : desks) desk->release();  // the winner's goes, the others' do nothing
            QVERIFY(!DeskLock::inspect(archive).present);
        }
    }

    void aDeskRemovesOnlyItsOwnLock() {
        QTemporaryDir dir;
        const std::filesystem::path archive = archiveIn(dir);
        DeskLock first(archive);
        QCOMPARE(first.acquire(), DeskLock::Result::Acquired);
        QVERIFY(first.heartbeat());

        // Another desk takes it over as it stands (as after a long silence): the first one's
        // sign of life fails and its release leaves the new holder's lock in place.
        DeskLock second(archive);
        QCOMPARE(second.acquire(), DeskLock::Result::Held);
        QCOMPARE(second.state().holder->token, first.own().token);
        QCOMPARE(second.takeOver(second.state(), std::chrono::milliseconds(0)),
                 DeskLock::Result::Acquired);
        QVERIFY(!first.heartbeat());
        first.release();
        const auto standing = DeskLock::inspect(archive);
        QVERIFY(standing.present);
        QCOMPARE(standing.holder->token, second.own().token);
        second.release();
        QVERIFY(!DeskLock::inspect(archive).present);
    }

    void takeOverRespectsALockThatChangedSinceItWasSeen() {
        QTemporaryDir dir;
        const std::filesystem::path archive = archiveIn(dir);
        DeskLock holder(archive);
        QCOMPARE(holder.acquire(), DeskLock::Result::Acquired);
        DeskLock late(archive);
        QCOMPARE(late.acquire(), DeskLock::Result::Held);
        auto seen = late.state();
        seen.heartbeat -= 600;  // judged on an older sign of life than the one standing now
        QCOMPARE(late.takeOver(seen, std::chrono::milliseconds(0)), DeskLock::Result::Held);
        QVERIFY(holder.heartbeat());
    }

    void holderTextReadsBackAndHalfWrittenTextIsNotTaken_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("complete");
        QTest::newRow("earlier versions") << "77\npc\n" << true;
        QTest::newRow("half written") << "77\npc" << false;
        QTest::newRow("no pid") << "x\npc\n" << false;
        QTest::newRow("empty") << "" << false;
    }

    void holderTextReadsBackAndHalfWrittenTextIsNotTaken() {
        QFETCH(QString, text);
        QFETCH(bool, complete);
        QCOMPARE(DeskLock::parseHolder(text.toStdString()).has_value(), complete);
        const LockHolder holder{42, "pc\nfinto", "mario", 1700000000, "ab12"};
        const auto back = DeskLock::parseHolder(DeskLock::holderText(holder));
        QVERIFY(back);
        QCOMPARE(back->host, std::string("pc finto"));  // a name cannot add lines
        QCOMPARE(back->token, holder.token);
        QCOMPARE(back->since, holder.since);
    }
};

QTEST_MAIN(DeskLockTest)
#include "desk_lock_test.moc"
