#include "print/labels_pdf.h"

#include <QGuiApplication>
#include <QPdfWriter>
#include <ostream>

#include "archive/book/archive_guard.h"
#include "archive/workbook.h"
#include "print/label_painter.h"
#include "print/pdf_file.h"
#include "register/address_labels.h"
#include "register/customer_selection.h"

namespace clivara::print {

namespace {

constexpr int kWritten = 0;
constexpr int kFailed = 2;

}  // namespace

int writeLabelsPdf(const std::filesystem::path& archivePath, const std::filesystem::path& pdfPath,
                   std::string_view formatName, std::string_view query, std::ostream& err) {
    const customers::LabelFormat* format = formatName.empty()
                                               ? &customers::kLabelFormats.front()
                                               : customers::findLabelFormat(formatName);
    if (format == nullptr) {
        err << "Formato di etichette sconosciuto: " << formatName << " (formati:";
        for (const customers::LabelFormat& known : customers::kLabelFormats) {
            err << " " << known.name;
        }
        err << ").\n";
        return kFailed;
    }
    return archive::guardedRun(err, kFailed, [&] {
        const archive::Workbook book = archive::Workbook::open(archivePath);
        const archive::Sheet* clienti = book.sheet("Clienti");
        if (clienti == nullptr) {
            err << "L'archivio " << archivePath.filename().string()
                << " non ha il foglio \"Clienti\".\n";
            return kFailed;
        }
        const auto application = startGuiApplication();
        const customers::CustomerSelection selection = customers::selectCustomers(*clienti, query);
        LabelTexts labels;
        labels.reserve(selection.customers.size());
        for (const customers::CustomerRecord& customer : selection.customers) {
            labels.push_back(customers::postalLines(customer));
        }
        const customers::LabelRun run(*format, 1, 1, labels.size());
        const bool written = writePdfFile(
            pdfPath, "Etichette",
            [&run, &labels](QPdfWriter& writer) {
                useLabelPageLayout(writer);
                return paintLabels(run, labels, writer);
            },
            err);
        return written ? kWritten : kFailed;
    });
}

}  // namespace clivara::print
