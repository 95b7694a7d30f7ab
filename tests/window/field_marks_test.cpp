// The marks on the checked fields: a light red background and the reason as tooltip while
// the text fails its check, renewed at every change; never a message, never a change of
// the text.
#include <QApplication>
#include <QLineEdit>
#include <QtTest>

#include "window/fake_message_boxes.h"
#include "window/field_marks.h"
#include "window/form1.h"
#include "window/operations_double.h"

namespace {

bool marked(const QLineEdit* field) {
    return field->palette().color(QPalette::Base) == FieldMarks::kMarkColour;
}

}  // namespace

class FieldMarksTest : public QObject {
    Q_OBJECT

  private:
    FakeMessageBoxes boxes_;
    Form1* form_ = nullptr;

    // The field's mark agrees with its tooltip: marked exactly when there is a reason.
    void expectMark(const QLineEdit* field, const QString& reason) {
        QCOMPARE(field->toolTip(), reason);
        QCOMPARE(marked(field), !reason.isEmpty());
    }

  private Q_SLOTS:
    void init() {
        resetOperationCalls();
        form_ = new Form1(boxes_, "Archivio.xls");
        form_->showAndActivate();
        QVERIFY(QTest::qWaitForWindowActive(form_));
    }
    void cleanup() {
        QVERIFY(boxes_.shown.isEmpty());  // a mark never shows a box
        delete form_;
        form_ = nullptr;
    }

    void taxCodeMarkFollowsTypingAndKeepsTheCapitals() {
        QLineEdit* taxCode = form_->Text10;
        const QColor unmarked = taxCode->palette().color(QPalette::Base);
        expectMark(taxCode, QString());
        taxCode->setFocus();

        QTest::keyClicks(taxCode, QStringLiteral("rssmra85t10a562"));
        QCOMPARE(taxCode->text(), QStringLiteral("RSSMRA85T10A562"));
        expectMark(taxCode, QStringLiteral("Il codice fiscale deve avere 16 caratteri (11 cifre "
                                           "per una società): ne ha 15"));
        QTest::keyClick(taxCode, 't');
        QCOMPARE(taxCode->text(), QStringLiteral("RSSMRA85T10A562T"));  // stored as typed
        QCOMPARE(taxCode->cursorPosition(), 16);
        expectMark(taxCode, QStringLiteral("Carattere di controllo errato: atteso S"));

        QTest::keyClick(taxCode, Qt::Key_Backspace);
        QTest::keyClick(taxCode, 's');
        expectMark(taxCode, QString());
        QCOMPARE(taxCode->palette().color(QPalette::Base), unmarked);

        // A company's code of eleven digits is checked as a partita IVA.
        taxCode->clear();
        QTest::keyClicks(taxCode, QStringLiteral("01234567890"));
        expectMark(taxCode, QStringLiteral("Cifra di controllo errata: attesa 7"));
        QCOMPARE(taxCode->text(), QStringLiteral("01234567890"));
    }

    void assignedTextsAreMarkedAndClearingRemovesEveryMark() {
        // As choosing a customer assigns its fields.
        form_->setFieldText(11, QStringLiteral("0123456789"));
        form_->setFieldText(10, QStringLiteral("rssmra85t10a562s"));
        form_->setFieldText(7, QStringLiteral("XX"));
        form_->setFieldText(5, QStringLiteral("2012"));
        expectMark(form_->Text11, QStringLiteral("La partita IVA deve avere 11 cifre: ne ha 10"));
        expectMark(form_->Text10, QString());
        QCOMPARE(form_->fieldText(10), QStringLiteral("RSSMRA85T10A562S"));
        expectMark(form_->Text7, QStringLiteral("Sigla di provincia sconosciuta: XX"));
        expectMark(form_->Text5, QStringLiteral("Il C.A.P. deve avere 5 cifre"));
        QCOMPARE(form_->fieldText(5), QStringLiteral("2012"));
        // The unchecked fields and the yellow ones are never marked.
        for (QLineEdit* other : {form_->Text1, form_->Text2, form_->Text3, form_->Text8}) {
            QVERIFY(!marked(other));
            QCOMPARE(other->toolTip(), QString());
        }

        form_->mnuP->trigger();
        for (QLineEdit* field : {form_->Text5, form_->Text7, form_->Text10, form_->Text11}) {
            expectMark(field, QString());
        }
    }

    void provinceAbroadTakesTheMarkOffThePostcode() {
        form_->Text5->setFocus();
        QTest::keyClicks(form_->Text5, QStringLiteral("SW1A 1AA"));
        expectMark(form_->Text5, QStringLiteral("Il C.A.P. deve avere 5 cifre"));
        form_->Text7->setFocus();
        QTest::keyClicks(form_->Text7, QStringLiteral("ee"));
        expectMark(form_->Text7, QString());
        expectMark(form_->Text5, QString());
        QTest::keyClick(form_->Text7, Qt::Key_Backspace);
        expectMark(form_->Text5, QStringLiteral("Il C.A.P. deve avere 5 cifre"));
        QVERIFY(!form_->Text7->toolTip().isEmpty());
        QCOMPARE(form_->fieldText(5), QStringLiteral("SW1A 1AA"));
        QCOMPARE(operationCalls().add + operationCalls().modify, 0);
    }
};

QTEST_MAIN(FieldMarksTest)
#include "field_marks_test.moc"
