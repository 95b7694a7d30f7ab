// Typing into Combo1's open list: a text typed in full takes the entry equal to it, not the
// next entry that merely starts with it; partial texts still go to the first entry that
// starts with them.
#include <QAbstractItemView>
#include <QComboBox>
#include <QtTest>

#include "window/fake_message_boxes.h"
#include "window/form1.h"
#include "window/operations_double.h"

class ComboTypeAheadTest : public QObject {
    Q_OBJECT

  private:
    // Opens the list with the entry at `current` chosen, types `text` in one burst and
    // returns the row the list then points at.
    static int typedRow(Form1& form, int current, const QString& text) {
        form.Combo1->hidePopup();
        QTest::qWait(QApplication::keyboardInputInterval() + 50);  // a new burst of typing
        form.Combo1->setCurrentIndex(current);
        form.Combo1->showPopup();
        QAbstractItemView* popup = form.Combo1->view();
        if (!QTest::qWaitFor([&] { return popup->isVisible(); })) return -2;
        QTest::keyClicks(popup, text);
        return popup->currentIndex().row();
    }

  private Q_SLOTS:
    void init() { resetOperationCalls(); }

    void aNameTypedInFullIsTheEntryChosen() {
        FakeMessageBoxes boxes;
        Form1 form(boxes, "Archivio.xls");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.comboAddItems({"Agriturismo Bianchi", "Agriturismo Bianchi (10790)", "Bar Roma",
                            "agriturismo bianchi", "Agriturismo Bianchi"});
        const QString name = QStringLiteral("Agriturismo Bianchi");
        // From the entry that starts with the name, the list's own search stays there.
        QCOMPARE(typedRow(form, 1, name), 4);
        QCOMPARE(typedRow(form, 2, name), 4);
        QCOMPARE(typedRow(form, 4, name), 0);  // the next equal one, round the end
        // Letter case counts first; an entry equal but for case is taken when no other is.
        QCOMPARE(typedRow(form, 0, QStringLiteral("agriturismo bianchi")), 3);
        QCOMPARE(typedRow(form, 0, QStringLiteral("AGRITURISMO BIANCHI (10790)")), 1);
        // A part of a name goes where the list's own search goes.
        QCOMPARE(typedRow(form, 2, QStringLiteral("Agri")), 3);
        QCOMPARE(typedRow(form, 0, QStringLiteral("Bar")), 2);

        // Enter chooses what the typing found: the handler gets that entry.
        QCOMPARE(typedRow(form, 1, name), 4);
        QTest::keyClick(form.Combo1->view(), Qt::Key_Return);
        QCOMPARE(operationCalls().comboClick, 1);
        QCOMPARE(operationCalls().lastClickIndex, 4);
        QCOMPARE(operationCalls().comboChange, 0);
    }
};

QTEST_MAIN(ComboTypeAheadTest)
#include "combo_type_ahead_test.moc"
