// "Stampa Etichette" on a real Form1 (offscreen): the small dialog it asks first, then the
// preview of the labels it chose.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QProgressDialog>
#include <QSpinBox>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "archive_on_disk.h"
#include "window/label_print_dialog.h"

namespace {

template <class T>
T* visibleTopLevel() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found != nullptr && found->isVisible()) {
            return found;
        }
    }
    return nullptr;
}

// Thirty customers, every fifth in Milano.
ArchiveContent thirtyCustomers() {
    ArchiveContent content;
    for (int i = 1; i <= 30; ++i) {
        content.fullRows.push_back(
            {QStringLiteral("Ditta %1").arg(i, 2, 10, QLatin1Char('0')), QString::number(i),
             QString(), QStringLiteral("Via Po 1"), QStringLiteral("20100"),
             i % 5 == 0 ? QStringLiteral("Milano") : QStringLiteral("Roma"), QStringLiteral("MI")});
    }
    return content;
}

}  // namespace

class PrintLabelsTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void theDialogChoosesFormatCustomersAndFirstLabel_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("pages");
        // 3 x 8 holds 24 a sheet; 2 x 7 holds 14, and from row 7, column 2, 13 stay free.
        QTest::newRow("all on 3x8") << 0 << QString() << 1 << 1 << 2;
        QTest::newRow("all on 2x7 from the last label") << 2 << QString() << 7 << 2 << 4;
        QTest::newRow("a search on 2x7") << 2 << QStringLiteral(" milano ") << 7 << 2 << 2;
        QTest::newRow("beyond the sheet is its last label") << 2 << QString() << 9 << 9 << 4;
    }

    void theDialogChoosesFormatCustomersAndFirstLabel() {
        QFETCH(int, format);
        QFETCH(QString, search);
        QFETCH(int, row);
        QFETCH(int, column);
        QFETCH(int, pages);
        OpenWindow window(thirtyCustomers());
        QVERIFY(window.loaded);

        int shownPages = -1;
        bool fitsWidth = false;
        int rowLimit = 0;
        int columnLimit = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto* choice = visibleTopLevel<LabelPrintDialog>(); choice != nullptr) {
                QCOMPARE(choice->formatBox->count(), 3);
                QCOMPARE(choice->formatBox->itemText(1), QStringLiteral("3 × 7 (70 × 42,3 mm)"));
                choice->formatBox->setCurrentIndex(format);
                rowLimit = choice->rowBox->maximum();
                columnLimit = choice->columnBox->maximum();
                choice->searchLine->setText(search);
                choice->rowBox->setValue(row);
                choice->columnBox->setValue(column);
                choice->accept();
                return;
            }
            auto* dialog = visibleTopLevel<QPrintPreviewDialog>();
            auto* preview = dialog != nullptr ? dialog->findChild<QPrintPreviewWidget*>() : nullptr;
            if (preview == nullptr || preview->pageCount() == 0) {
                return;
            }
            shownPages = preview->pageCount();
            fitsWidth = preview->zoomMode() == QPrintPreviewWidget::FitToWidth;
            QCOMPARE(preview->orientation(), QPageLayout::Portrait);
            dialog->reject();
            timer.stop();
        });
        timer.start(0);
        window.form->MnEtichette->trigger();
        QCOMPARE(shownPages, pages);
        QVERIFY(fitsWidth);
        QCOMPARE(rowLimit, format == 0 ? 8 : 7);
        QCOMPARE(columnLimit, format == 0 ? 3 : 2);
        QVERIFY(window.boxes.shown.empty());
    }

    void aSearchThatFindsNobodySaysSoAndACancelDoesNothing() {
        OpenWindow window(thirtyCustomers());
        QVERIFY(window.loaded);
        for (const bool accept : {true, false}) {
            QTimer timer;
            QObject::connect(&timer, &QTimer::timeout, [&] {
                if (auto* choice = visibleTopLevel<LabelPrintDialog>(); choice != nullptr) {
                    choice->searchLine->setText(QStringLiteral("napoli"));
                    accept ? choice->accept() : choice->reject();
                    timer.stop();
                }
            });
            timer.start(0);
            window.form->MnEtichette->trigger();
            QVERIFY(visibleTopLevel<QPrintPreviewDialog>() == nullptr);
        }
        QCOMPARE(window.boxes.shown.size(), std::size_t{1});
        QCOMPARE(window.boxes.shown[0].text, QStringLiteral("Nessun cliente contiene \"napoli\"."));
    }

    void aLongRunShowsItsProgressAndACancelClosesThePreview() {
        ArchiveContent content;
        for (int i = 1; i <= 2400; ++i) {  // 100 sheets of 3 x 8
            content.columnA << QStringLiteral("Cliente %1").arg(i);
        }
        OpenWindow window(content);
        QVERIFY(window.loaded);
        int sheetsPainted = 0;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto* choice = visibleTopLevel<LabelPrintDialog>(); choice != nullptr) {
                choice->accept();
                return;
            }
            for (auto* progress : QApplication::topLevelWidgets()) {
                auto* dialog = qobject_cast<QProgressDialog*>(progress);
                if (dialog == nullptr || !dialog->isVisible() || dialog->value() < 3) {
                    continue;
                }
                QCOMPARE(dialog->labelText(), QStringLiteral("Preparazione delle etichette..."));
                QCOMPARE(dialog->maximum(), 100);
                sheetsPainted = dialog->value();
                dialog->cancel();
                timer.stop();
            }
        });
        timer.start(0);
        window.form->MnEtichette->trigger();
        QVERIFY(sheetsPainted >= 3 && sheetsPainted < 100);
        QVERIFY(visibleTopLevel<QPrintPreviewDialog>() == nullptr);
        QVERIFY(window.boxes.shown.empty());
        QVERIFY(window.form->isVisible());
    }
};

QTEST_MAIN(PrintLabelsTest)
#include "print_labels_test.moc"
