// "Stampa Elenco Clienti" on a real Form1 (offscreen): the preview it opens, the progress
// and its cancel, and printing to a PDF file from the same layout.
#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <QtTest>
#include <functional>

#include "archive_on_disk.h"
#include "operations/print_customer_list.h"
#include "window/list_print_dialog.h"

using clivara::operations::CustomerListPrint;
using clivara::operations::openArchiveCustomerList;

namespace {

// Calls check on every turn of the event loop until it returns true or the run ends: the
// way a test sees the dialogs that a blocking call opens.
class Watcher {
  public:
    explicit Watcher(std::function<bool()> check) : check_(std::move(check)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            ++turns;
            if (!done && check_()) {
                done = true;
                timer_.stop();
            }
        });
        timer_.start(0);
    }
    int turns = 0;
    bool done = false;

  private:
    std::function<bool()> check_;
    QTimer timer_;
};

template <class T>
T* visibleTopLevel() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* found = qobject_cast<T*>(widget); found != nullptr && found->isVisible()) {
            return found;
        }
    }
    return nullptr;
}

// Answers the question the menu entry asks first (which customers) with a search text;
// true while it was there to answer.
bool answerListChoice(const QString& search = {}) {
    auto* choice = visibleTopLevel<ListPrintDialog>();
    if (choice == nullptr) {
        return false;
    }
    choice->searchLine->setText(search);
    choice->accept();
    return true;
}

ArchiveContent customers(int count) {
    ArchiveContent content;
    for (int i = 1; i <= count; ++i) {
        content.columnA << QStringLiteral(
                               "Cliente %1 con un nome abbastanza lungo da andare a "
                               "capo nella sua colonna")
                               .arg(i, 5, 10, QLatin1Char('0'));
    }
    return content;
}

QString pdfText(const QString& path) {
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-raw"), path, "-"});
    pdftotext.waitForFinished(60000);
    return QString::fromUtf8(pdftotext.readAllStandardOutput());
}

}  // namespace

class PrintCustomerListTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void initTestCase() {
        // As the program does: Qt's own dialogs in Italian.
        if (translator_.load(QStringLiteral("qtbase_it"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QApplication::installTranslator(&translator_);
        }
    }

    void menuEntryOpensThePreviewOfTheList_data() {
        QTest::addColumn<QString>("search");
        QTest::addColumn<int>("listed");
        QTest::newRow("every customer") << QString() << 2;
        QTest::newRow("a search") << QStringLiteral(" ROSSI ") << 1;
    }

    void menuEntryOpensThePreviewOfTheList() {
        QFETCH(QString, search);
        QFETCH(int, listed);
        ArchiveContent content;
        content.fullRows = {{"Rossi S.r.l.", "1", "", "Via Roma 1"},
                            {"Ωμέγα Αθήνα", "2"},
                            {"", "3", "", "senza nome"}};
        OpenWindow window(content);
        QVERIFY(window.loaded);

        int pages = -1;
        QString title;
        QPageLayout::Orientation orientation = QPageLayout::Portrait;
        bool fitsWidth = false;
        QSize size;
        Watcher watcher([&] {
            if (answerListChoice(search)) {
                return false;
            }
            auto* dialog = visibleTopLevel<QPrintPreviewDialog>();
            if (dialog == nullptr) {
                return false;
            }
            auto* preview = dialog->findChild<QPrintPreviewWidget*>();
            if (preview == nullptr || preview->pageCount() == 0) {
                return false;
            }
            pages = preview->pageCount();
            title = dialog->windowTitle();
            fitsWidth = preview->zoomMode() == QPrintPreviewWidget::FitToWidth;
            size = dialog->size();
            orientation = preview->orientation() == QPageLayout::Landscape ? QPageLayout::Landscape
                                                                           : QPageLayout::Portrait;
            dialog->reject();
            return true;
        });
        window.form->MnStampa->trigger();
        QVERIFY(watcher.done);
        QCOMPARE(pages, 1);
        QCOMPARE(orientation, QPageLayout::Landscape);
        // As large as the screen leaves free, the page as wide as the preview.
        QVERIFY(fitsWidth);
        const QSize screen = window.form->screen()->availableGeometry().size();
        QVERIFY2(
            size.width() >= screen.width() * 9 / 10 && size.height() >= screen.height() * 9 / 10,
            qPrintable(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
        if (!translator_.isEmpty()) {
            QCOMPARE(title, QStringLiteral("Anteprima di stampa: Elenco Clienti"));
        }
        QVERIFY(window.boxes.shown.empty());
        QVERIFY(visibleTopLevel<QPrintPreviewDialog>() == nullptr);
        // The list the entry prints for that search: its customers, counted in the heading.
        const auto list = openArchiveCustomerList(*window.form, search.toStdString());
        QCOMPARE(static_cast<int>(list.customerCount()), listed);
        QCOMPARE(
            QString::fromStdString(list.selectionLine()),
            search.isEmpty() ? QString() : QStringLiteral("ricerca \"ROSSI\": 1 cliente su 2"));
    }

    void cancellingTheQuestionOpensNothing() {
        OpenWindow window(customers(3));
        QVERIFY(window.loaded);
        Watcher watcher([] {
            auto* choice = visibleTopLevel<ListPrintDialog>();
            if (choice != nullptr) {
                choice->reject();
            }
            return choice != nullptr;
        });
        window.form->MnStampa->trigger();
        QVERIFY(watcher.done);
        QVERIFY(visibleTopLevel<QPrintPreviewDialog>() == nullptr);
        QVERIFY(window.boxes.shown.empty());
    }

    void cancellingTheLayoutClosesThePreviewAndTheWindowGoesOn() {
        OpenWindow window(customers(4000));
        QVERIFY(window.loaded);

        int turnsWhileLaidOut = 0;
        bool cancelled = false;
        bool unfinished = false;
        QString label;
        Watcher watcher([&] {
            if (answerListChoice()) {
                return false;
            }
            auto* progress = window.form->findChild<QProgressDialog*>();
            if (progress == nullptr) {
                return false;
            }
            // The events go on while the list is laid out: wait for a few turns, then cancel.
            if (++turnsWhileLaidOut < 3) {
                return false;
            }
            label = progress->labelText();
            unfinished = progress->value() < progress->maximum();
            progress->cancel();
            cancelled = true;
            return true;
        });
        window.form->MnStampa->trigger();
        QVERIFY(watcher.done);
        QVERIFY(cancelled);
        QVERIFY2(label.startsWith(QStringLiteral("Impaginazione")), qPrintable(label));
        QVERIFY(unfinished);
        QVERIFY(visibleTopLevel<QPrintPreviewDialog>() == nullptr);
        QVERIFY(window.form->findChild<QProgressDialog*>() == nullptr);
        QVERIFY(window.boxes.shown.empty());
        QCOMPARE(window.form->Combo1->count(), 4000);
        QVERIFY(window.form->isVisible());
    }

    void printsToPdfFromOneLayoutAndRemovesACancelledFile() {
        OpenWindow window(customers(4000));
        QVERIFY(window.loaded);
        CustomerListPrint print(openArchiveCustomerList(*window.form), window.form.get());

        QPrinter printer(QPrinter::HighResolution);
        clivara::print::useListPageLayout(printer);
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString pdf = window.dir.filePath(QStringLiteral("elenco.pdf"));
        printer.setOutputFileName(pdf);
        QCOMPARE(print.print(printer), CustomerListPrint::Outcome::Printed);
        QCOMPARE(print.layoutsMade(), 1);
        const QString text = pdfText(pdf);
        QVERIFY(text.contains(QStringLiteral("Elenco Clienti Archivio.xls")));
        QVERIFY(text.contains(QStringLiteral("Totale clienti: 4000")));
        QVERIFY(text.contains(QStringLiteral("Pagina 1 di ")));

        // The same page again: painted from the layout already made.
        QVERIFY(QFile::remove(pdf));
        QCOMPARE(print.print(printer), CustomerListPrint::Outcome::Printed);
        QCOMPARE(print.layoutsMade(), 1);
        QVERIFY(QFileInfo::exists(pdf));

        // Another orientation needs a new layout; a cancel while painting removes the file.
        printer.setPageOrientation(QPageLayout::Portrait);
        int pagesPainted = 0;
        Watcher watcher([&] {
            auto* progress = window.form->findChild<QProgressDialog*>();
            if (progress == nullptr ||
                !progress->labelText().startsWith(QStringLiteral("Stampa"))) {
                return false;
            }
            if (progress->value() < 3) {
                return false;
            }
            pagesPainted = progress->value();
            progress->cancel();
            return true;
        });
        QCOMPARE(print.print(printer), CustomerListPrint::Outcome::Cancelled);
        QVERIFY(watcher.done);
        QVERIFY(pagesPainted >= 3);
        QCOMPARE(print.layoutsMade(), 2);
        QVERIFY(!QFileInfo::exists(pdf));
    }

  private:
    QTranslator translator_;
};

QTEST_MAIN(PrintCustomerListTest)
#include "print_customer_list_test.moc"
