#include "operations/archive_follower.h"

#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QWidget>
#include <array>
#include <exception>

#include "archive/workbook.h"
#include "operations/archive_access.h"
#include "operations/archive_lock.h"
#include "operations/customer_rows.h"
#include "operations/desk_lock.h"
#include "operations/startup.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace clivara::operations {

namespace {

QString shown(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The window is waiting for the user (a message box, the print preview, an open menu): what
// it shows must not change under it now.
bool windowBusy() {
    return QApplication::activeModalWidget() != nullptr ||
           QApplication::activePopupWidget() != nullptr;
}

}  // namespace

ArchiveFollower::ArchiveFollower(Form1& form, std::function<bool()> switchToChanging,
                                 bool offerWhenFree, std::chrono::milliseconds interval)
    : QObject(&form),
      form_(form),
      switchToChanging_(std::move(switchToChanging)),
      offerWhenFree_(offerWhenFree) {
    loaded_ = customers::statArchive(form_.archivePath());
    connect(&timer_, &QTimer::timeout, this, [this] { check(); });
    connect(&watcher_, &QFileSystemWatcher::fileChanged, this, [this] { check(); });
    connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { check(); });
    watchFiles();
    timer_.start(interval);
}

void ArchiveFollower::watchFiles() {
    // A file replaced by a rename is no longer watched: it is watched again under its name.
    const QString file = shown(form_.archivePath());
    if (!watcher_.files().contains(file)) watcher_.addPath(file);
    const QString folder = shown(form_.archivePath().parent_path());
    if (!folder.isEmpty() && !watcher_.directories().contains(folder)) watcher_.addPath(folder);
}

bool ArchiveFollower::archiveIsFree() const {
    const std::filesystem::path& archive = form_.archivePath();
    if (DeskLock::inspect(archive).present || ArchiveLock::suiteLockStands(archive)) return false;
    return ::access(archive.c_str(), F_OK) == 0;
}

void ArchiveFollower::check() {
    if (checking_ || !timer_.isActive() || windowBusy()) return;
    checking_ = true;
    watchFiles();
    const std::optional<customers::ArchiveIdentity> now =
        customers::statArchive(form_.archivePath());
    if (now && (!loaded_ || !customers::sameFileStamp(*now, *loaded_)) && reload()) {
        loaded_ = now;
    }
    if (!offerWhenFree_) {
        checking_ = false;
        return;
    }
    if (!archiveIsFree()) {
        toldFree_ = false;  // held again: told anew when it is free next time
        checking_ = false;
        return;
    }
    // Free of locks: whether the file itself can now be written is asked once, here.
    if (toldFree_ || archiveWriteProblem(form_.archivePath()) != 0) {
        checking_ = false;
        return;
    }
    toldFree_ = true;
    const bool change = form_.messageBoxes().askYesNo(
        &form_, kProgramTitle,
        QStringLiteral("L'archivio %1 ora è libero: nessun altro lo sta usando.\n\nAprirlo per "
                       "modificarlo?")
            .arg(shown(form_.archivePath())));
    if (change && switchToChanging_ && switchToChanging_()) {
        timer_.stop();
        watcher_.removePaths(watcher_.files() + watcher_.directories());
    }
    checking_ = false;
}

// Reads the file again and shows its register; the customer on screen stays on screen, with
// what the new file says of it. False when the file cannot be read now (half written by an
// office suite, say): the window keeps what it shows and the next look tries again.
bool ArchiveFollower::reload() {
    std::optional<archive::Workbook> fresh;
    try {
        fresh.emplace(archive::Workbook::open(form_.archivePath()));
        if (fresh->sheet("Clienti") == nullptr || fresh->sheet("Codici") == nullptr) return false;
    } catch (const std::exception&) {
        return false;
    }
    std::array<QString, 14> fields;
    for (int n = 1; n <= 13; ++n) fields[static_cast<std::size_t>(n)] = form_.fieldText(n);
    const QString comboText = form_.comboText();
    const QString id = fields[2];
    int shownRow = 0;
    if (form_.ArchiveBook && !id.isEmpty()) {
        try {
            shownRow = findCustomerRowById(requireSheet(form_, "Clienti"), id.toStdString());
        } catch (const std::exception&) {
            shownRow = 0;
        }
    }

    form_.ArchiveBook = std::move(fresh);
    Q_EMIT form_.registerChanged();  // the views over the register read the new one
    try {
        form_.ReloadCustomerList();
    } catch (const std::exception&) {
        // the list stays empty; the fields below are put back all the same
    }
    int row = 0;
    if (shownRow > 0) {
        row = findCustomerRowById(*form_.ArchiveBook->sheet("Clienti"), id.toStdString());
    }
    if (row > 0) {
        form_.loadCustomerRow(row);
        form_.Combo1->setEditText(
            QString::fromStdString(form_.ArchiveBook->sheet("Clienti")->text(row, 1)));
    } else {
        // A new entry being typed, or a customer the other desk deleted: left as it was.
        for (int n = 1; n <= 13; ++n) form_.setFieldText(n, fields[static_cast<std::size_t>(n)]);
        form_.Combo1->setEditText(comboText);
    }
    return true;
}

}  // namespace clivara::operations
