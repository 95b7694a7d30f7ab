// The field rules and the change events: the tax code in capitals with the caret kept, the
// length limits, the locked ID, "Pulisci Campi", and when the list box's handlers run.
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

#include "window/fake_message_boxes.h"
#include "window/form1.h"
#include "window/operations_double.h"

namespace {

// Types any text, one key event per character (also beyond ASCII).
void typeText(QWidget* widget, const QString& text) {
    for (const QChar character : text) {
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(character),
                            Qt::NoModifier);
    }
}

}  // namespace

class FieldRulesTest : public QObject {
    Q_OBJECT

  private:
    FakeMessageBoxes boxes_;
    Form1* form_ = nullptr;

  private Q_SLOTS:
    void init() {
        resetOperationCalls();
        form_ = new Form1(boxes_, "Archivio.xls");
        form_->showAndActivate();
        QVERIFY(QTest::qWaitForWindowActive(form_));
    }
    void cleanup() {
        delete form_;
        form_ = nullptr;
    }

    void taxCodeTurnsCapitalAsTypedWithTheCaretAfterEachKey() {
        QLineEdit* taxCode = form_->Text10;
        taxCode->setFocus();
        const QStringList shown = {"A", "AB", "ABC"};
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(taxCode, static_cast<char>('a' + i));
            QCOMPARE(taxCode->text(), shown[i]);
            QCOMPARE(taxCode->cursorPosition(), i + 1);
            QVERIFY(!taxCode->hasSelectedText());
        }
        // A letter typed in the middle becomes a capital at that place, the caret after it.
        taxCode->setCursorPosition(1);
        QTest::keyClick(taxCode, 'x');
        QCOMPARE(taxCode->text(), QStringLiteral("AXBC"));
        QCOMPARE(taxCode->cursorPosition(), 2);
        // Deleting keeps the caret where the user left it too.
        QTest::keyClick(taxCode, Qt::Key_Backspace);
        QCOMPARE(taxCode->text(), QStringLiteral("ABC"));
        QCOMPARE(taxCode->cursorPosition(), 1);
    }

    void provinceAbbreviationTurnsCapitalOnceKnown() {
        QLineEdit* province = form_->Text7;
        province->setFocus();
        QTest::keyClick(province, 'm');
        QCOMPARE(province->text(), QStringLiteral("m"));  // not yet an abbreviation
        QTest::keyClick(province, 'i');
        QCOMPARE(province->text(), QStringLiteral("MI"));
        QCOMPARE(province->cursorPosition(), 2);
        province->clear();
        QTest::keyClicks(province, QStringLiteral("Zug"));
        QCOMPARE(province->text(), QStringLiteral("Zug"));
    }

    void pastedTaxCodeTurnsCapitalAndDigitsStay() {
        QLineEdit* taxCode = form_->Text10;
        taxCode->setFocus();
        QApplication::clipboard()->setText(QStringLiteral("ab12cd"));
        QTest::keyClick(taxCode, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(taxCode->text(), QStringLiteral("AB12CD"));
        QCOMPARE(taxCode->cursorPosition(), 6);
        QVERIFY(!taxCode->hasSelectedText());
        // Pasting past the limit takes in only what fits.
        QApplication::clipboard()->setText(QStringLiteral("efghijklmnopqrstuvwxyz"));
        QTest::keyClick(taxCode, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(taxCode->text(), QStringLiteral("AB12CDEFGHIJKLMN"));
    }

    void upperCaseKeepsTheLengthOfEveryCharacter() {
        form_->Text10->setFocus();
        typeText(form_->Text10, QStringLiteral("straße é"));
        QCOMPARE(form_->fieldText(10), QStringLiteral("STRAßE É"));
        QCOMPARE(form_->Text10->cursorPosition(), 8);
        // A letter outside the basic plane keeps its two code units.
        form_->setFieldText(10, QStringLiteral("a\U00010428b"));
        QCOMPARE(form_->fieldText(10), QStringLiteral("A\U00010400B"));
    }

    void programAssignmentsToTheTaxCodeAreCapitalisedAndNeverCut() {
        QSignalSpy changes(form_->Text10, &QLineEdit::textChanged);
        form_->setFieldText(10, QStringLiteral("rssmra80a01h501u"));
        QCOMPARE(form_->fieldText(10), QStringLiteral("RSSMRA80A01H501U"));
        // A lower-case text changes twice (assigned, then capitalised); the same text again
        // is no change at all.
        QCOMPARE(changes.count(), 2);
        form_->setFieldText(10, QStringLiteral("RSSMRA80A01H501U"));
        QCOMPARE(changes.count(), 2);

        // A longer code written into the archive elsewhere is shown whole, so that storing
        // the customer again loses nothing; the user still cannot make it longer.
        const QString longCode = QStringLiteral("RSS MRA 80A01 H501U");
        form_->setFieldText(10, longCode.toLower());
        QCOMPARE(form_->fieldText(10), longCode);
        form_->Text10->setFocus();
        form_->Text10->end(false);
        QTest::keyClick(form_->Text10, 'z');
        QCOMPARE(form_->fieldText(10), longCode);
        QTest::keyClick(form_->Text10, Qt::Key_Backspace);
        QTest::keyClick(form_->Text10, 'z');
        QCOMPARE(form_->fieldText(10), longCode.chopped(1));
        form_->setFieldText(10, QString());
        QTest::keyClicks(form_->Text10, QStringLiteral("abcdefghijklmnopqrst"));
        QCOMPARE(form_->fieldText(10), QStringLiteral("ABCDEFGHIJKLMNOP"));
    }

    void lengthLimitsAndTheLockedId() {
        form_->Text11->setFocus();
        QTest::keyClicks(form_->Text11, QStringLiteral("123456789012345"));
        QCOMPARE(form_->fieldText(11), QStringLiteral("12345678901"));
        // Other fields take any length.
        const QString longName = QString(300, QLatin1Char('x'));
        form_->Text1->setFocus();
        QTest::keyClicks(form_->Text1, longName);
        QCOMPARE(form_->fieldText(1), longName);
        // Also past the 32,767 characters a line edit takes by default: a text too long for
        // a cell must reach the check of the operations whole, not cut by the field.
        const QString pasted = QString(40000, QLatin1Char('y'));
        QApplication::clipboard()->setText(pasted);
        for (QLineEdit* field : {form_->Text1, form_->Text3, form_->Text9}) {
            field->setFocus();
            field->selectAll();
            QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(field->text().size(), pasted.size());
        }

        form_->setFieldText(2, QStringLiteral("42"));
        form_->Text2->setFocus();
        QVERIFY(form_->Text2->hasFocus());
        QTest::keyClicks(form_->Text2, QStringLiteral("7x"));
        QTest::keyClick(form_->Text2, Qt::Key_Backspace);
        QCOMPARE(form_->fieldText(2), QStringLiteral("42"));
    }

    void clearingFieldsFromALoadedState() {
        for (int n = 1; n <= 13; ++n) {
            form_->setFieldText(n, QStringLiteral("valore %1").arg(n));
        }
        form_->comboAddItems({"Ragione Sociale", "Rossi", "Verdi"});
        form_->Combo1->setFocus();
        QTest::keyClick(form_->Combo1, Qt::Key_Down);  // the user chooses "Ragione Sociale"
        QCOMPARE(form_->comboText(), QStringLiteral("Ragione Sociale"));
        operationCalls() = OperationCalls{};

        for (int round = 0; round < 2; ++round) {  // loaded, then already blank
            form_->mnuP->trigger();
            for (int n = 1; n <= 13; ++n) {
                QVERIFY2(form_->fieldText(n).isEmpty(), qPrintable(QString::number(n)));
            }
            QCOMPARE(form_->Combo1->count(), 0);
            QVERIFY(form_->comboText().isEmpty());
            QCOMPARE(form_->Combo1->currentIndex(), -1);
            QTRY_VERIFY(form_->Text1->hasFocus());
            form_->Combo1->setFocus();
        }
        QCOMPARE(operationCalls().comboChange, 0);
        QCOMPARE(operationCalls().comboClick, 0);
        QVERIFY(boxes_.shown.isEmpty());
    }

    void assignmentsRaiseAChangeOnlyWhenTheTextDiffers() {
        QSignalSpy notes(form_->Text12, &QPlainTextEdit::textChanged);
        form_->setFieldText(12, QStringLiteral("nota"));
        form_->setFieldText(12, QStringLiteral("nota"));
        QCOMPARE(notes.count(), 1);

        OperationCalls& calls = operationCalls();
        form_->setComboText(QStringLiteral("Rossi"));
        QCOMPARE(calls.comboChange, 1);
        QCOMPARE(calls.comboTextAtChange, QStringList({"Rossi"}));
        form_->setComboText(QStringLiteral("Rossi"));
        QCOMPARE(calls.comboChange, 1);

        // Emptying the list blanks its text without counting as a change.
        form_->comboAddItems({"A", "B"});
        form_->comboClear();
        QCOMPARE(calls.comboChange, 1);
        QCOMPARE(form_->Combo1->count(), 0);
        QVERIFY(form_->comboText().isEmpty());
        form_->setComboText(QString());
        QCOMPARE(calls.comboChange, 1);
    }

    void fillingTheListLeavesTextAndIndexAlone() {
        QSignalSpy index(form_->Combo1, &QComboBox::currentIndexChanged);
        QSignalSpy text(form_->Combo1, &QComboBox::editTextChanged);
        form_->comboAddItem(QStringLiteral("Ragione Sociale"));
        form_->comboAddItems({"Rossi", "Rossi", "Verdi"});
        QCOMPARE(form_->Combo1->count(), 4);
        QCOMPARE(form_->Combo1->itemText(2), QStringLiteral("Rossi"));  // kept twice, unsorted
        QCOMPARE(form_->Combo1->currentIndex(), -1);
        QVERIFY(form_->comboText().isEmpty());
        QCOMPARE(index.count(), 0);
        QCOMPARE(text.count(), 0);
        QCOMPARE(operationCalls().comboChange, 0);
    }

    void typingInTheListBoxRunsChangeAndChoosingRunsClick() {
        OperationCalls& calls = operationCalls();
        // As the real handler does: empty the list and fill it again.
        calls.onComboChange = [](Form1& form) {
            form.comboClear();
            form.comboAddItems({"Ragione Sociale", "Bianchi", "Rossi"});
        };
        form_->Combo1->setFocus();
        QTest::keyClicks(form_->Combo1, QStringLiteral("ro"));
        QCOMPARE(calls.comboChange, 2);  // one per key, none from the handler's own refill
        QCOMPARE(calls.comboTextAtChange, QStringList({"r", "o"}));
        QVERIFY(form_->comboText().isEmpty());
        QCOMPARE(form_->Combo1->count(), 3);
        QCOMPARE(calls.comboClick, 0);

        // Arrow keys on the closed box choose an entry: a click, not a change.
        QTest::keyClick(form_->Combo1, Qt::Key_Down);
        QTest::keyClick(form_->Combo1, Qt::Key_Down);
        QCOMPARE(calls.comboClick, 2);
        QCOMPARE(calls.lastClickIndex, 1);
        QCOMPARE(form_->comboText(), QStringLiteral("Bianchi"));

        // Choosing from the open list with the keyboard.
        form_->Combo1->showPopup();
        QAbstractItemView* popup = form_->Combo1->view();
        QTRY_VERIFY(popup->isVisible());
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        QCOMPARE(calls.comboClick, 3);
        QCOMPARE(calls.lastClickIndex, 2);
        QCOMPARE(form_->comboText(), QStringLiteral("Rossi"));
        QCOMPARE(calls.comboChange, 2);
        // Enter on the chosen text adds nothing to the list.
        QTest::keyClick(form_->Combo1, Qt::Key_Return);
        QCOMPARE(form_->Combo1->count(), 3);
    }
};

QTEST_MAIN(FieldRulesTest)
#include "field_rules_test.moc"
