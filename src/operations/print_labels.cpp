#include "operations/print_labels.h"

#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QTimer>
#include <optional>

#include "operations/customer_rows.h"
#include "operations/guarded_operation.h"
#include "operations/print_preview_window.h"
#include "register/customer_selection.h"
#include "window/form1.h"
#include "window/label_print_dialog.h"

namespace clivara::operations {

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
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                     [&run, &labels, &dialog, &failed](QPrinter* target) {
                         if (print::paintLabels(run, labels, *target) == print::PaintResult::Done) {
                             return;
                         }
                         failed = true;
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
