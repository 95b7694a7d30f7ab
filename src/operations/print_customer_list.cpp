#include "operations/print_customer_list.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QPaintEngine>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <cstddef>
#include <optional>
#include <utility>

#include "operations/customer_rows.h"
#include "operations/guarded_operation.h"
#include "operations/print_preview_window.h"
#include "register/customer_records.h"
#include "register/customer_selection.h"
#include "window/form1.h"
#include "window/list_print_dialog.h"

namespace clivara::operations {

namespace {

const QString kPrintTitle = QStringLiteral("Stampa Elenco Clienti");

// Lists this long show their progress from the start (and the events go on meanwhile);
// shorter ones are laid out and painted in well under a second, without either.
constexpr std::size_t kLongList = 2000;

// Painting on the print preview: its engine records the pages as pictures. Anything else is
// a printer or a PDF file.
bool paintsPreview(QPrinter& printer) {
    const QPaintEngine* engine = printer.paintEngine();
    return engine != nullptr && engine->type() == QPaintEngine::Picture;
}

// Clears a flag when a scope ends, however it ends.
class BusyScope {
  public:
    explicit BusyScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

CustomerListPrint::CustomerListPrint(customers::CustomerList list, QWidget* parent)
    : list_(std::move(list)), parent_(parent) {}

CustomerListPrint::Outcome CustomerListPrint::print(QPrinter& printer) {
    if (busy_) {
        // The events go on while a long list is laid out or painted, but the progress dialog
        // keeps the user's input away; a request arriving anyway is left to the work under way.
        return Outcome::Busy;
    }
    const BusyScope busy(busy_);
    const bool preview = paintsPreview(printer);
    const bool longList = list_.customerCount() >= kLongList;

    // Over the dialog that asked for the printing (the preview), so that it is not hidden
    // behind it.
    QWidget* modal = QApplication::activeModalWidget();
    QProgressDialog progress(modal != nullptr ? modal : parent_);
    progress.setWindowTitle(kPrintTitle);
    progress.setCancelButtonText(QStringLiteral("Annulla"));
    progress.setWindowModality(Qt::ApplicationModal);
    progress.setAutoReset(false);
    progress.setAutoClose(false);
    const auto step = [&progress, longList](const QString& label) {
        progress.setLabelText(label);
        progress.setRange(0, 1);
        progress.setValue(0);
        if (longList) {
            // Shown at once, so that it is modal before the first events are processed.
            progress.show();
        }
        return [&progress, longList](int done, int total) {
            if (!longList) {
                return true;
            }
            progress.setMaximum(std::max(total, 1));
            progress.setValue(std::min(done, progress.maximum()));
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        };
    };

    if (!layout_ || !print::fitsDevice(*layout_, printer)) {
        layout_.reset();
        print::ListLayoutPtr made = print::layOutCustomerList(
            list_, printer, step(QStringLiteral("Impaginazione dell'elenco clienti...")));
        if (!made) {
            lastOutcome_ = Outcome::Cancelled;
            return lastOutcome_;
        }
        layout_ = std::move(made);
        ++layoutsMade_;
    }
    const print::PaintResult result =
        print::paintCustomerList(*layout_, printer,
                                 step(preview ? QStringLiteral("Preparazione dell'anteprima...")
                                              : QStringLiteral("Stampa dell'elenco clienti...")));
    if (result == print::PaintResult::Done) {
        lastOutcome_ = Outcome::Printed;
        return lastOutcome_;
    }
    // An unfinished PDF file is not left behind as if it were the list.
    if (!preview && printer.outputFormat() == QPrinter::PdfFormat &&
        !printer.outputFileName().isEmpty()) {
        QFile::remove(printer.outputFileName());
    }
    lastOutcome_ = result == print::PaintResult::Cancelled ? Outcome::Cancelled : Outcome::Failed;
    return lastOutcome_;
}

customers::CustomerList openArchiveCustomerList(Form1& form, std::string_view query) {
    const customers::CustomerSelection selection =
        customers::selectCustomers(requireSheet(form, "Clienti"), query);
    customers::CustomerList list(
        selection.customers, form.archivePath().filename().string(),
        QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")).toStdString());
    if (!selection.query.empty()) {
        list.setSelection(selection.query, selection.allCustomers);
    }
    return list;
}

void showCustomerListPreview(Form1& form) {
    ListPrintDialog choice(&form);
    if (choice.exec() != QDialog::Accepted) {
        return;
    }
    const std::string query = choice.searchText().toStdString();
    std::optional<CustomerListPrint> print;
    if (!guardedRead(form, [&form, &print, &query] {
            print.emplace(openArchiveCustomerList(form, query), &form);
        })) {
        return;
    }

    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Elenco Clienti"));
    printer.setCreator(QStringLiteral("Clivara 2008"));
    print::useListPageLayout(printer);

    QPrintPreviewDialog dialog(&printer, &form);
    dialog.setObjectName(QStringLiteral("anteprimaElenco"));
    fitPreviewToScreen(dialog, form);
    bool failed = false;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&print, &dialog, &failed](QPrinter* target) {
                         const CustomerListPrint::Outcome outcome = print->print(*target);
                         if (outcome == CustomerListPrint::Outcome::Printed ||
                             outcome == CustomerListPrint::Outcome::Busy) {
                             return;
                         }
                         // A cancelled or failed layout leaves nothing worth showing: the
                         // preview closes (once the preview has taken what was painted).
                         failed = outcome == CustomerListPrint::Outcome::Failed;
                         QTimer::singleShot(0, &dialog, &QDialog::reject);
                     });
    dialog.exec();
    if (failed) {
        form.messageBoxes().inform(&form, QStringLiteral("Clivara 2008"),
                                   QStringLiteral("Impossibile stampare l'elenco clienti."));
    }
}

}  // namespace clivara::operations

void Form1::MnStampa_Click() {
    clivara::operations::showCustomerListPreview(*this);
}
