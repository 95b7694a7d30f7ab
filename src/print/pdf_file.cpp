#include "print/pdf_file.h"

#include <QGuiApplication>
#include <QPdfWriter>
#include <QSaveFile>
#include <QString>
#include <ostream>

namespace clivara::print {

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

bool writePdfFile(const std::filesystem::path& pdf, const char* title,
                  const std::function<PaintResult(QPdfWriter&)>& paint, std::ostream& err) {
    QSaveFile file(QString::fromStdString(pdf.string()));
    if (!file.open(QIODevice::WriteOnly)) {
        err << "Impossibile scrivere " << pdf.string() << ": " << file.errorString().toStdString()
            << "\n";
        return false;
    }
    {
        QPdfWriter writer(&file);
        writer.setTitle(QString::fromUtf8(title));
        writer.setCreator(QStringLiteral("Clivara 2008"));
        if (paint(writer) != PaintResult::Done) {
            file.cancelWriting();
            err << "Impossibile scrivere " << pdf.string() << ".\n";
            return false;
        }
    }
    if (!file.commit()) {
        err << "Impossibile scrivere " << pdf.string() << ": " << file.errorString().toStdString()
            << "\n";
        return false;
    }
    return true;
}

}  // namespace clivara::print
