// The window as built: client area, places of the controls, captions and properties, the
// tab order, the menu bar and the window's own events (activation, close).
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

#include "window/fake_message_boxes.h"
#include "window/form1.h"
#include "window/operations_double.h"

namespace {

// The control of the window that holds the focus (Combo1's line edit counts as Combo1).
QString focusedControl(const Form1& form) {
    for (QWidget* widget = QApplication::focusWidget(); widget != nullptr;
         widget = widget->parentWidget()) {
        if (form.controls().contains(widget)) {
            return widget->objectName();
        }
    }
    return QStringLiteral("(none)");
}

}  // namespace

class Form1LayoutTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void init() { resetOperationCalls(); }

    void clientAreaIsFixedAndControlsSitAtTheirPlaces() {
        FakeMessageBoxes boxes;
        Form1 form(boxes, "Archivio.xls");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QWidget* client = form.centralWidget();
        QCOMPARE(client->size(), QSize(629, 521));
        // Nothing below the menu bar but the client area, and the window cannot be resized.
        QCOMPARE(form.height(), form.menuBar()->height() + 521);
        QCOMPARE(form.minimumSize(), form.maximumSize());

        const struct {
            const char* name;
            QRect place;
        } expected[] = {
            {"Combo1", {32, 56, 369, 21}},   {"Text1", {32, 96, 369, 19}},
            {"Text2", {488, 48, 105, 19}},   {"Text7", {352, 192, 49, 19}},
            {"Text11", {216, 288, 185, 19}}, {"Text12", {32, 320, 561, 35}},
            {"Text13", {32, 368, 561, 43}},  {"Label6", {360, 168, 49, 25}},
            {"Label13", {32, 424, 177, 21}}, {"Label14", {296, 424, 297, 33}},
        };
        for (const auto& control : expected) {
            QWidget* widget = form.control(QString::fromLatin1(control.name));
            QVERIFY2(widget != nullptr, control.name);
            QCOMPARE(widget->parentWidget(), client);
            QCOMPARE(widget->geometry(), control.place);
        }

        // The caption labels overlap the fields below them; the fields are drawn on top.
        for (const char* field : {"Text1", "Text3", "Text5", "Text10", "Combo1"}) {
            QWidget* widget = form.control(QString::fromLatin1(field));
            QWidget* hit = client->childAt(widget->geometry().topLeft() + QPoint(4, 1));
            QVERIFY2(hit == widget || widget->isAncestorOf(hit), field);
        }
        // And the caption itself stays visible above the field.
        QLabel* label2 = form.Label[2];
        QVERIFY(label2->alignment() & Qt::AlignTop);
        QVERIFY(label2->geometry().top() + label2->fontMetrics().height() <=
                form.Text1->geometry().top() + 1);
    }

    void yellowFieldsShowTheirColourAndCentredText() {
        FakeMessageBoxes boxes;
        Form1 form(boxes, "Archivio.xls");
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // The colour must survive the style: look at the pixels, not the palette.
        for (QLineEdit* yellow : {form.Text2, form.Text3}) {
            const QImage image = yellow->grab().toImage();
            QCOMPARE(QColor(image.pixel(image.width() / 2, image.height() / 2)),
                     QColor(255, 255, 192));
            QCOMPARE(yellow->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        }
        const QImage plain = form.Text1->grab().toImage();
        QVERIFY(QColor(plain.pixel(plain.width() / 2, plain.height() / 2)) !=
                QColor(255, 255, 192));
        QCOMPARE(form.Text7->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(form.Label[13]->font().pointSizeF(), 6.75);
    }

    void tabVisitsTheFieldsInOrderAndComesBack() {
        FakeMessageBoxes boxes;
        Form1 form(boxes, "Archivio.xls");
        form.showAndActivate();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.Combo1->setFocus();
        QTRY_COMPARE(focusedControl(form), QStringLiteral("Combo1"));

        const QStringList forward = {"Text1",  "Text3",  "Text4", "Text5",  "Text6",
                                     "Text7",  "Text8",  "Text9", "Text10", "Text11",
                                     "Text12", "Text13", "Text2", "Combo1"};
        for (const QString& next : forward) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(focusedControl(form), next);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusedControl(form), QStringLiteral("Text2"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(focusedControl(form), QStringLiteral("Text13"));
        // Tab leaves the multi-line notes; Enter starts a new line in them.
        form.Text12->setFocus();
        QTest::keyClicks(form.Text12, "uno");
        QTest::keyClick(form.Text12, Qt::Key_Return);
        QTest::keyClicks(form.Text12, "due");
        QCOMPARE(form.fieldText(12), QStringLiteral("uno\ndue"));
    }

    void menuBarHoldsEveryEntryAndOnlyTheHandledOnesAct() {
        FakeMessageBoxes boxes;
        Form1 form(boxes, "Archivio.xls");
        const QList<QAction*> top = form.menuBar()->actions();
        QStringList topCaptions;
        for (QAction* action : top) {
            topCaptions.append(action->text());
        }
        QCOMPARE(topCaptions, QStringList({"Esci dal Programma", "Rubrica", "Clienti", "Pratiche",
                                           "Carte CCIAA", "Ricorsi"}));
        auto captionsOf = [](QMenu* menu) {
            QStringList captions;
            for (QAction* action : menu->actions()) {
                captions.append(action->text());
            }
            return captions;
        };
        QCOMPARE(captionsOf(form.mnuEsci), QStringList({"Esci"}));
        QCOMPARE(captionsOf(form.Mnu),
                 QStringList({"Aggiungi Cliente", "Modifica Cliente", "Elimina Cliente",
                              "Pulisci Campi", "Stampa Elenco Clienti", "Stampa Etichette",
                              "Cerca Cliente...", "", "Annulla", "Ripeti"}));
        QCOMPARE(captionsOf(form.MnuPra), QStringList({"Pratica"}));
        // The search, "Annulla" and "Ripeti" are the entries with shortcuts; the last two are
        // disabled while there is nothing to take back or make again.
        QCOMPARE(form.mnuCerca->shortcut(), QKeySequence(QStringLiteral("Ctrl+F")));
        QCOMPARE(form.mnuAnnulla->shortcuts(), QList<QKeySequence>{QKeySequence("Ctrl+Z")});
        QCOMPARE(form.mnuRipeti->shortcuts(),
                 (QList<QKeySequence>{QKeySequence("Ctrl+Y"), QKeySequence("Ctrl+Shift+Z")}));
        QVERIFY(!form.mnuAnnulla->isEnabled() && !form.mnuRipeti->isEnabled());
        for (QAction* action : form.findChildren<QAction*>()) {
            if (action == form.mnuCerca || action == form.mnuAnnulla || action == form.mnuRipeti) {
                continue;
            }
            QVERIFY2(action->shortcut().isEmpty(), qPrintable(action->text()));
            QVERIFY(!action->text().contains(QLatin1Char('&')));
            QVERIFY(action->isEnabled() && action->isVisible());
        }

        // The entries without action change nothing.
        for (int n = 1; n <= 13; ++n) {
            form.setFieldText(n, QStringLiteral("v%1").arg(n));
        }
        form.comboAddItems({"Rossi", "Bianchi"});
        for (QAction* inert : {form.MnPratica, form.MenuCarta, form.MNRicorsi}) {
            inert->trigger();
        }
        // "Rubrica" opens its own window and leaves the fields and the list as they are.
        form.MnRubrica->trigger();
        const QWidget* rubrica = form.findChild<QDialog*>(QStringLiteral("RubricaWindow"));
        QVERIFY(rubrica != nullptr && rubrica->isVisible());
        QCOMPARE(rubrica->windowTitle(), QStringLiteral("Rubrica - Clivara 2008"));
        for (int n = 1; n <= 13; ++n) {
            QCOMPARE(form.fieldText(n),
                     n == 10 ? QStringLiteral("V10") : QStringLiteral("v%1").arg(n));
        }
        QCOMPARE(form.Combo1->count(), 2);
        OperationCalls& calls = operationCalls();
        QCOMPARE(calls.add + calls.modify + calls.erase + calls.esci + calls.comboChange +
                     calls.print + calls.labels,
                 0);

        form.mnuA->trigger();
        form.mnuM->trigger();
        form.mnuE->trigger();
        form.MnStampa->trigger();
        form.MnEtichette->trigger();
        form.MnEsci->trigger();
        QCOMPARE(calls.add, 1);
        QCOMPARE(calls.print, 1);
        QCOMPARE(calls.labels, 1);
        QCOMPARE(calls.modify, 1);
        QCOMPARE(calls.erase, 1);
        QCOMPARE(calls.esci, 1);
        QVERIFY(boxes.shown.isEmpty());
    }

    void closeRequestsAreRefused() {
        FakeMessageBoxes boxes;
        Form1 form(boxes, "Archivio.xls");
        form.showAndActivate();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(!form.close());
        QVERIFY(form.isVisible());
        QCOMPARE(operationCalls().esci, 0);
    }

    void startUpRunsOnceOnTheFirstActivation() {
        FakeMessageBoxes boxes;
        Form1 form(boxes, "Archivio.xls");
        operationCalls().onFormActivate = [](Form1& f) { f.Text1->setFocus(); };
        QCOMPARE(operationCalls().formActivate, 0);
        form.showAndActivate();
        QTRY_COMPARE(operationCalls().formActivate, 1);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTRY_VERIFY(form.Text1->hasFocus());

        // Another window taking the activation and giving it back starts nothing again.
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCoreApplication::processEvents();
        QCOMPARE(operationCalls().formActivate, 1);
    }
};

QTEST_MAIN(Form1LayoutTest)
#include "form1_layout_test.moc"
