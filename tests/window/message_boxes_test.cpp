// The real message boxes: no icon, the given title and text, Yes the default of a question
// (Enter answers Yes, Esc answers No), a report with OK only.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "window/message_boxes.h"

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::Information;
    QList<QMessageBox::StandardButton> buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    int width = 0;
    int titleNeeds = 0;
};

// Waits for the modal box, notes what it shows, then presses key in it.
void answerNextBox(SeenBox& seen, Qt::Key key) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, &seen, key] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.width = box->width();
        seen.titleNeeds = titleBarWidth(box->windowTitle(), box->font());
        for (QAbstractButton* button : box->buttons()) {
            seen.buttons.append(box->standardButton(button));
        }
        if (box->defaultButton() != nullptr) {
            seen.defaultButton =
                box->standardButton(static_cast<QAbstractButton*>(box->defaultButton()));
        }
        QTest::keyClick(box, key);
    });
    poll->start(10);
}

}  // namespace

class MessageBoxesTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationName(QStringLiteral("Clivara 2008")); }

    void questionDefaultsToYesAndEscapeAnswersNo() {
        ModalMessageBoxes boxes;
        SeenBox seen;
        answerNextBox(seen, Qt::Key_Return);
        QVERIFY(boxes.askYesNo(nullptr, QStringLiteral(" Clivara 2008"),
                               QStringLiteral(" Vuoi Inserire questo Cliente ?")));
        QCOMPARE(seen.title, QStringLiteral(" Clivara 2008"));
        QCOMPARE(seen.text, QStringLiteral(" Vuoi Inserire questo Cliente ?"));
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
        QCOMPARE(seen.buttons.size(), 2);
        QVERIFY(seen.buttons.contains(QMessageBox::Yes) && seen.buttons.contains(QMessageBox::No));
        QCOMPARE(seen.defaultButton, QMessageBox::Yes);

        SeenBox escaped;
        answerNextBox(escaped, Qt::Key_Escape);
        QVERIFY(!boxes.askYesNo(nullptr, QStringLiteral("Scheda Cliente 2008"),
                                QStringLiteral("Elimino?")));
        QCOMPARE(escaped.title, QStringLiteral("Scheda Cliente 2008"));
    }

    void reportHasOkOnlyAndFallsBackToTheProgramName() {
        ModalMessageBoxes boxes;
        SeenBox seen;
        answerNextBox(seen, Qt::Key_Return);
        const QString text = QStringLiteral(
            "Impossibile eseguire il programma\r\nIl file "
            "/x/Archivio.xls non è stato trovato.");
        boxes.inform(nullptr, QString(), text);
        QCOMPARE(seen.buttons, QList<QMessageBox::StandardButton>({QMessageBox::Ok}));
        QCOMPARE(seen.icon, QMessageBox::NoIcon);
        QCOMPARE(seen.title, QStringLiteral("Clivara 2008"));
        QCOMPARE(seen.text, text);
    }

    // A short text makes a narrow box: every kind is still as wide as its title needs.
    void everyBoxIsAsWideAsItsTitleNeeds() {
        ModalMessageBoxes boxes;
        const QString longTitle = QStringLiteral("Clivara 2008 - Archivio non salvato, riprova");
        for (const QString& title : {QString(), longTitle}) {
            SeenBox report, question, cautious;
            answerNextBox(report, Qt::Key_Return);
            boxes.inform(nullptr, title, QStringLiteral("Sì"));
            answerNextBox(question, Qt::Key_Escape);
            boxes.askYesNo(nullptr, title, QStringLiteral("Sì?"));
            answerNextBox(cautious, Qt::Key_Escape);
            boxes.askYesNoDefaultNo(nullptr, title, QStringLiteral("Sì?"));
            for (const SeenBox* seen : {&report, &question, &cautious}) {
                QVERIFY2(seen->width >= seen->titleNeeds, qPrintable(QStringLiteral("%1: %2 < %3")
                                                                         .arg(seen->title)
                                                                         .arg(seen->width)
                                                                         .arg(seen->titleNeeds)));
            }
            QVERIFY(report.titleNeeds > titleBarWidth(QStringLiteral("Clivara"), QFont()));
        }
    }

    // "Salvataggio in corso…" stands over the middle of its window, as a message box does.
    void busyBoxIsCentredOverItsWindow() {
        QWidget window;
        window.setGeometry(200, 150, 800, 600);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        ModalMessageBoxes boxes;
        boxes.showBusy(&window, QString(), QStringLiteral("Salvataggio in corso…"));
        auto* busy = window.findChild<QWidget*>(QStringLiteral("busyBox"));
        QVERIFY(busy != nullptr && busy->isVisible());
        const QPoint off = busy->frameGeometry().center() - window.frameGeometry().center();
        QVERIFY2(qAbs(off.x()) <= 3 && qAbs(off.y()) <= 3,
                 qPrintable(QStringLiteral("%1,%2").arg(off.x()).arg(off.y())));
        boxes.hideBusy();
    }
};

QTEST_MAIN(MessageBoxesTest)
#include "message_boxes_test.moc"
