// Read-only, the window follows the other desk: its save is shown within 3 s with the customer
// on screen kept, and when the archive becomes free the user is told once and may change it.
#include <QComboBox>
#include <QtTest>

#include "archive_on_disk.h"
#include "operations/archive_follower.h"
#include "operations/archive_lock.h"
#include "operations/desk_lock.h"

using clivara::archive::Workbook;
using clivara::operations::ArchiveFollower;
using clivara::operations::ArchiveLock;
using clivara::operations::DeskLock;

class ArchiveFollowerTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void followsTheOtherDesksSaveAndSaysOnceWhenItIsFree() {
        OpenWindow w({{}, {{"Alfa", "40"}, {"Beta", "41"}}, "41"});
        DeskLock other(w.path);  // the desk that changes it
        QCOMPARE(other.acquire(), DeskLock::Result::Acquired);
        w.form->setArchiveReadOnly(true);
        w.form->loadCustomerRow(3);
        QCOMPARE(w.form->fieldText(1), QStringLiteral("Beta"));
        int switches = 0;
        auto* follower = new ArchiveFollower(
            *w.form, [&switches] { return ++switches > 0; }, true, std::chrono::milliseconds(100));

        Workbook there = Workbook::open(w.path);
        there.sheet("Clienti")->setText(3, 8, "0612345");  // Beta's telephone
        there.sheet("Clienti")->setText(4, 1, "Delta");
        there.sheet("Clienti")->setText(4, 2, "42");
        there.save(w.path);
        QTRY_VERIFY_WITH_TIMEOUT(w.list().contains(QStringLiteral("Delta")), 3000);
        QCOMPARE(w.form->fieldText(1), QStringLiteral("Beta"));
        QCOMPARE(w.form->fieldText(8), QStringLiteral("0612345"));
        QVERIFY(w.boxes.shown.empty());

        w.boxes.answers = {true};
        other.release();
        QTRY_COMPARE_WITH_TIMEOUT(switches, 1, 3000);
        QCOMPARE(w.boxes.shown.size(), 1u);
        QVERIFY2(w.boxes.shown[0].text.contains(QStringLiteral("ora è libero")),
                 qPrintable(w.boxes.shown[0].text));
        QVERIFY(!follower->following());
        QTest::qWait(300);
        QCOMPARE(w.boxes.shown.size(), 1u);
    }

    // An office suite's lock keeps the archive held; one of ours left behind by a program that
    // ended does not (else a read-only desk would never be told).
    void suiteLocksThatKeepTheArchiveHeld_data() {
        QTest::addColumn<bool>("excel");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("free");
        QTest::newRow("ours, left behind")
            << false << QByteArray("Clivara 2008,mario,pc1,09.12.2026 10:00,file:///home/mario;")
            << true;
        QTest::newRow("LibreOffice")
            << false << QByteArray("Maria Bianchi,maria,ufficio-2,09.12.2026 10:00,file:///x;")
            << false;
        QTest::newRow("Excel") << true << QByteArray("\x05Maria") << false;
    }
    void suiteLocksThatKeepTheArchiveHeld() {
        QFETCH(bool, excel);
        QFETCH(QByteArray, text);
        QFETCH(bool, free);
        OpenWindow w({{}, {{"Alfa", "40"}}, "40"});
        QFile lock(QString::fromStdString(
            (excel ? ArchiveLock::excelLockPath(w.path) : ArchiveLock::libreOfficeLockPath(w.path))
                .string()));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(text);
        lock.close();
        w.form->setArchiveReadOnly(true);
        w.boxes.answers = {false};
        new ArchiveFollower(
            *w.form, [] { return false; }, true, std::chrono::milliseconds(50));
        QTest::qWait(400);
        QCOMPARE(w.boxes.shown.size(), free ? 1u : 0u);
    }
};

QTEST_MAIN(ArchiveFollowerTest)
#include "archive_follower_test.moc"
