#include "print/customer_list_pdf.h"

#include <QDate>
#include <QGuiApplication>
#include <QPdfWriter>
#include <QSaveFile>
#include <QString>
#include <memory>
#include <ostream>

#include "archive/book/archive_guard.h"
#include "archive/workbook.h"
#include "print/customer_list_painter.h"
#include "register/customer_list.h"
#include "register/customer_records.h"

namespace clivara::print {

namespace {

constexpr int kWritten = 0;
constexpr int kFailed = 2;

// A Qt application for fonts and painting, on the offscreen platform unless told otherwise.
std::unique_ptr<QGuiApplication> startGuiApplication() {
    if (QCoreApplication::instance() != nullptr) {
        return nullptr;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "clivara-archivio";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

int writeCustomerListPdf(const std::filesystem::path& archivePath,
                         const std::filesystem::path& pdfPath, std::ostream& err) {
    return archive::guardedRun(err, kFailed, [&] {
        const archive::Workbook book = archive::Workbook::open(archivePath);
        const archive::Sheet* clienti = book.sheet("Clienti");
        if (clienti == nullptr) {
            err << "L'archivio " << archivePath.filename().string()
                << " non ha il foglio \"Clienti\".\n";
            return kFailed;
        }
        const auto application = startGuiApplication();
        const customers::CustomerList list(
            customers::readCustomers(*clienti), archivePath.filename().string(),
            QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")).toStdString());

        // Written beside the target and renamed over it at the end, so that a failure leaves
        // whatever was there before.
        QSaveFile file(QString::fromStdString(pdfPath.string()));
        if (!file.open(QIODevice::WriteOnly)) {
            err << "Impossibile scrivere " << pdfPath.string() << ": "
                << file.errorString().toStdString() << "\n";
            return kFailed;
        }
        {
            QPdfWriter writer(&file);
            writer.setTitle(QStringLiteral("Elenco Clienti"));
            writer.setCreator(QStringLiteral("Clivara 2008"));
            useListPageLayout(writer);
            if (paintCustomerList(list, writer) != PaintResult::Done) {
                file.cancelWriting();
                err << "Impossibile scrivere " << pdfPath.string() << ".\n";
                return kFailed;
            }
        }
        if (!file.commit()) {
            err << "Impossibile scrivere " << pdfPath.string() << ": "
                << file.errorString().toStdString() << "\n";
            return kFailed;
        }
        return kWritten;
    });
}

}  // namespace clivara::print
