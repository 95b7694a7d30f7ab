// Read-only, the window follows the other desk: its save is shown within 3 s with the customer
// on screen kept, and when the archive becomes free the user is told once and may change it.
#include <QComboBox>
#include <QtTest>

#include "archive_on_disk.h"
#include "operations/archive_follower.h"
#include "operations/desk_lock.h"

using clivara::archive::Workbook;
using clivara::operations::ArchiveFollower;
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
};

QTEST_MAIN(ArchiveFollowerTest)
#include "archive_follower_test.moc"
