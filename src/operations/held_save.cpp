#include "operations/held_save.h"

#include <QCoreApplication>
#include <QString>
#include <cerrno>
#include <thread>

#include "archive/archive_error.h"
#include "archive/workbook.h"
#include "operations/startup.h"
#include "window/message_boxes.h"

namespace clivara::operations {

namespace {

constexpr auto kStep = std::chrono::milliseconds(250);

// Hides the box however the wait ends.
struct BusyBox {
    MessageBoxes& boxes;
    bool shown = false;
    ~BusyBox() {
        if (shown) boxes.hideBusy();
    }
};

}  // namespace

bool heldByAnotherProgram(int error) {
    return error == EEXIST || error == EBUSY || error == ETXTBSY || error == EAGAIN;
}

void saveWaitingForReaders(const archive::Workbook& book, const std::filesystem::path& archive,
                           MessageBoxes& boxes, QWidget* parent,
                           std::chrono::milliseconds patience) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    BusyBox busy{boxes};
    for (;;) {
        try {
            book.save(archive);
            return;
        } catch (const archive::ArchiveError& error) {
            if (!heldByAnotherProgram(error.systemError())) throw;
            if (std::chrono::steady_clock::now() >= deadline) {
                throw archive::ArchiveError(
                    archive::ArchiveProblem::WriteFailed,
                    "Il file \"" + archive.string() +
                        "\" non può essere sostituito: l'archivio è aperto su un altro "
                        "computer (o in un foglio di calcolo). Chiuderlo là e riprovare.",
                    error.systemError());
            }
        }
        if (!busy.shown) {
            boxes.showBusy(parent, kProgramTitle, QStringLiteral("Salvataggio in corso…"));
            busy.shown = true;
        }
        std::this_thread::sleep_for(kStep);
        QCoreApplication::processEvents();  // the box is drawn; it takes no input
    }
}

}  // namespace clivara::operations
