#include "operations/print_labels.h"

#include <QCoreApplication>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "operations/customer_rows.h"
#include "operations/guarded_operation.h"
#include "operations/print_preview_window.h"
#include "register/customer_selection.h"
#include "window/form1.h"
#include "window/label_print_dialog.h"

namespace clivara::operations {

namespace {

// Runs this long show their progress over the preview (and the events go on meanwhile);
// shorter ones are painted in well under a second.
constexpr std::size_t kLongRun = 2000;

// The progress of painting the sheets, in a modal dialog over parent that lets the user
// cancel; nothing for short runs.
print::Progress sheetProgress(QWidget& parent, std::size_t labels) {
    if (labels < kLongRun) {
        return {};
    }
    auto progress = std::make_shared<QProgressDialog>(&parent);
    progress->setWindowTitle(QStringLiteral("Stampa Etichette"));
    progress->setLabelText(QStringLiteral("Preparazione delle etichette..."));
    progress->setCancelButtonText(QStringLiteral("Annulla"));
    progress->setWindowModality(Qt::ApplicationModal);
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    progress->setRange(0, 1);
    progress->show();
    return [progress](int done, int total) {
        progress->setMaximum(std::max(total, 1));
        progress->setValue(std::min(done, progress->maximum()));
        QCoreApplication::processEvents();
        const bool goOn = !progress->wasCanceled();
        if (!goOn || done >= total) {
            progress->hide();
        }
        return goOn;
    };
}

}  // namespace

print::LabelTexts openArchiveLabels(Form1& form, std::string_view query) {
    const customers::CustomerSelection selection =
        customers::selectCustomers(requireSheet(form, "Clienti"), query);
    print::LabelTexts labels;
    labels.reserve(selection.customers.size());
    for (const customers::CustomerRecord& customer : selection.customers) {
        labels.push_back(customers::postalLines(customer));
    }
    return labels;
}

void showLabelsPreview(Form1& form) {
    LabelPrintDialog choice(&form);
    if (choice.exec() != QDialog::Accepted) {
        return;
    }
    const std::string query = choice.searchText().toStdString();
    print::LabelTexts labels;
    if (!guardedRead(form, [&] { labels = openArchiveLabels(form, query); })) {
        return;
    }
    if (labels.empty()) {
        form.messageBoxes().inform(
            &form, QStringLiteral("Clivara 2008"),
            customers::normalizedQuery(query).empty()
                ? QStringLiteral("L'archivio non ha clienti.")
                : QStringLiteral("Nessun cliente contiene \"%1\".")
                      .arg(QString::fromStdString(customers::normalizedQuery(query))));
        return;
    }
    const customers::LabelRun run(
        customers::kLabelFormats.at(static_cast<std::size_t>(choice.formatIndex())),
        choice.firstRow(), choice.firstColumn(), labels.size());

    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(QStringLiteral("Etichette"));
    printer.setCreator(QStringLiteral("Clivara 2008"));
    print::useLabelPageLayout(printer);
    printer.setFullPage(true);

    QPrintPreviewDialog dialog(&printer, &form);
    dialog.setObjectName(QStringLiteral("anteprimaEtichette"));
    fitPreviewToScreen(dialog, form);
    bool failed = false;
    bool busy = false;
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter* target) {
        if (busy) {
            // Asked again while the events go on under the progress: the painting under way
            // gives the preview its pages.
            return;
        }
        busy = true;
        const print::PaintResult result =
            print::paintLabels(run, labels, *target, sheetProgress(dialog, labels.size()));
        busy = false;
        if (result == print::PaintResult::Done) {
            return;
        }
        // A cancel leaves nothing worth showing: the preview closes.
        failed = result == print::PaintResult::Failed;
        QTimer::singleShot(0, &dialog, &QDialog::reject);
    });
    dialog.exec();
    if (failed) {
        form.messageBoxes().inform(&form, QStringLiteral("Clivara 2008"),
                                   QStringLiteral("Impossibile stampare le etichette."));
    }
}

}  // namespace clivara::operations

void Form1::MnEtichette_Click() {
    clivara::operations::showLabelsPreview(*this);
}
