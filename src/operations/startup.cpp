// Start-up: the archive is checked and opened before the window is shown, and the first
// activation prepares a new entry and fills the customer list.
#include "operations/startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <exception>

#include "archive/archive_error.h"
#include "archive/workbook.h"
#include "operations/customer_rows.h"
#include "operations/guarded_operation.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace clivara::operations {

bool VerifyFile(const std::filesystem::path& fileName) {
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    return true;
}

QString missingArchiveMessage(const std::filesystem::path& archivePath) {
    return QStringLiteral("Impossibile eseguire il programma\nIl file ") +
           QString::fromStdString(archivePath.string()) + QStringLiteral(" non è stato trovato.");
}

std::filesystem::path archivePathBesideProgram() {
    const std::filesystem::path folder = QCoreApplication::applicationDirPath().toStdString();
    return folder / "Archivio.xls";
}

}  // namespace clivara::operations

using namespace clivara::operations;
using clivara::archive::ArchiveError;
using clivara::archive::Workbook;

namespace {

QString archiveName(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// What keeps an opened archive from being used; empty when it can be used.
QString unusableArchiveReason(Form1& form) {
    const QString file = archiveName(form.archivePath());
    for (const char* name : {"Clienti", "Codici"}) {
        if (form.ArchiveBook->sheet(name) == nullptr) {
            return QStringLiteral("Impossibile usare l'archivio %1:\nmanca il foglio \"%2\".")
                .arg(file, QString::fromLatin1(name));
        }
    }
    try {
        counterValue(*form.ArchiveBook->sheet("Codici"));
    } catch (const std::exception&) {
        return QStringLiteral(
                   "Impossibile usare l'archivio %1:\nla cella A2 del foglio \"Codici\", che "
                   "conta i codici dei clienti, non contiene un numero.")
            .arg(file);
    }
    return {};
}

}  // namespace

bool Form1::Form_Load() {
    const std::filesystem::path& path = archivePath();
    if (!VerifyFile(path)) {
        messageBoxes().inform(nullptr, kProgramTitle, missingArchiveMessage(path));
        return false;
    }
    try {
        ArchiveBook = Workbook::open(path);
    } catch (const ArchiveError& error) {
        messageBoxes().inform(nullptr, kProgramTitle, QString::fromUtf8(error.what()));
        return false;
    } catch (const std::exception& error) {
        messageBoxes().inform(nullptr, kProgramTitle,
                              QStringLiteral("Impossibile aprire l'archivio %1:\n%2")
                                  .arg(archiveName(path), QString::fromUtf8(error.what())));
        return false;
    }
    const QString reason = unusableArchiveReason(*this);
    if (!reason.isEmpty()) {
        ArchiveBook.reset();
        messageBoxes().inform(nullptr, kProgramTitle, reason);
        return false;
    }
    activeSheet = QString::fromStdString(ArchiveBook->sheetAt(0).name());
    // While the window fills and shows, the lookup the first addition needs is built aside.
    ArchiveBook->prepareForChanges();

    // Centred on the screen's free area; each difference halved with the fraction dropped.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        adjustSize();  // the size the window will show with, menu bar included
        const QRect area = screen->availableGeometry();
        const QSize size = frameGeometry().size();
        move(area.x() + (area.width() - size.width()) / 2,
             area.y() + (area.height() - size.height()) / 2);
    }
    return true;
}

void Form1::Form_Activate() {
    guardedRead(*this, [&] {
        const clivara::archive::Sheet& codici = requireSheet(*this, "Codici");
        activeSheet = QStringLiteral("Codici");
        // The Italian forms, whatever the machine's locale.
        const QDateTime now = QDateTime::currentDateTime();
        Label[13]->setText(now.toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")));
        setFieldText(3, now.date().toString(QStringLiteral("dd/MM/yyyy")));
        setFieldText(2, QString::fromStdString(counterText(counterValue(codici) + 1)));

        requireSheet(*this, "Clienti");
        activeSheet = QStringLiteral("Clienti");
        if (AddCustomerNames(2, true)) {
            Text1->setFocus();
        }
    });
}
