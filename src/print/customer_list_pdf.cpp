#include "print/customer_list_pdf.h"

#include <QDate>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QString>
#include <memory>
#include <ostream>

#include "archive/book/archive_guard.h"
#include "archive/workbook.h"
#include "print/customer_list_painter.h"
#include "print/pdf_file.h"
#include "register/customer_list.h"
#include "register/customer_selection.h"

namespace clivara::print {

namespace {

constexpr int kWritten = 0;
constexpr int kFailed = 2;

}  // namespace

int writeCustomerListPdf(const std::filesystem::path& archivePath,
                         const std::filesystem::path& pdfPath, std::string_view query,
                         std::ostream& err) {
    return archive::guardedRun(err, kFailed, [&] {
        const archive::Workbook book = archive::Workbook::open(archivePath);
        const archive::Sheet* clienti = book.sheet("Clienti");
        if (clienti == nullptr) {
            err << "L'archivio " << archivePath.filename().string()
                << " non ha il foglio \"Clienti\".\n";
            return kFailed;
        }
        const auto application = startGuiApplication();
        customers::CustomerSelection selection = customers::selectCustomers(*clienti, query);
        customers::CustomerList list(
            selection.customers, archivePath.filename().string(),
            QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")).toStdString());
        if (!selection.query.empty()) {
            list.setSelection(selection.query, selection.allCustomers);
        }
        const bool written = writePdfFile(
            pdfPath, "Elenco Clienti",
            [&list](QPdfWriter& writer) {
                useListPageLayout(writer);
                return paintCustomerList(list, writer);
            },
            err);
        return written ? kWritten : kFailed;
    });
}

}  // namespace clivara::print
