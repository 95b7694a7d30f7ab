// Another desk saved the archive while this one worked: its save is kept and this desk's
// changes are made on it before this desk saves.
#include "operations/merge_at_save.h"

#include <QDateTime>
#include <QStringList>
#include <optional>

#include "operations/desk_lock.h"
#include "operations/recovery.h"
#include "register/change_history.h"
#include "window/form1.h"
#include "window/undo_actions.h"

namespace clivara::operations {

namespace {

constexpr int kNamesListed = 15;

QString names(const std::vector<std::string>& list) {
    QStringList shown;
    for (std::size_t i = 0; i < list.size() && i < kNamesListed; ++i) {
        shown << QString::fromStdString(list[i]);
    }
    QString text = shown.join(QStringLiteral(", "));
    if (list.size() > kNamesListed) {
        text += QStringLiteral(" e altri %1").arg(list.size() - kNamesListed);
    }
    return text;
}

QString conflictLine(const customers::DeskMergeReport::Conflict& conflict) {
    using Kind = customers::DeskMergeReport::ConflictKind;
    const QString who =
        QStringLiteral("%1 (ID %2)")
            .arg(QString::fromStdString(conflict.name), QString::fromStdString(conflict.id));
    const QString kept = QString::fromStdString(conflict.keptAsId);
    switch (conflict.kind) {
        case Kind::ChangedThere:
            return QStringLiteral(
                       "- %1: modificato su entrambi i computer. Resta la versione "
                       "dell'altro; quella di questo computer è il nuovo cliente "
                       "con ID %2, segnato nella seconda nota.")
                .arg(who, kept);
        case Kind::DeletedThere:
            return QStringLiteral(
                       "- %1: modificato qui, eliminato sull'altro computer. La "
                       "versione di questo computer è il nuovo cliente con ID %2, "
                       "segnato nella seconda nota.")
                .arg(who, kept);
        case Kind::ChangedThereNotDeleted:
            return QStringLiteral(
                       "- %1: eliminato qui, ma modificato sull'altro computer: non "
                       "è stato eliminato.")
                .arg(who);
    }
    return who;
}

bool sameFile(Recovery& recovery, const std::filesystem::path& archive,
              const customers::ArchiveIdentity& now) {
    if (customers::sameFileStamp(now, recovery.openedFile)) return true;
    // Touched without being written (a copy that kept its bytes): the hash decides.
    const std::string& openedHash = recovery.journal.openedHash();
    if (openedHash.empty() || now.size != recovery.openedFile.size) return false;
    const std::optional<customers::ArchiveIdentity> hashed = customers::identifyArchive(archive);
    return hashed && hashed->sha256 == openedHash;
}

}  // namespace

QString mergeReportText(const customers::DeskMergeReport& report) {
    QStringList lines;
    lines << QStringLiteral(
        "Mentre si lavorava qui, l'archivio è stato salvato da un altro "
        "computer (o da un foglio di calcolo). Il suo salvataggio è stato "
        "tenuto e le modifiche di questo computer sono state riportate "
        "su di esso:");
    if (report.empty()) lines << QStringLiteral("- nessuna modifica da riportare");
    if (!report.added.empty()) {
        lines << QStringLiteral("- aggiunti: %1").arg(names(report.added));
    }
    for (const auto& moved : report.renumbered) {
        lines << QStringLiteral("  %1 ha ora l'ID %2 (qui era %3)")
                     .arg(QString::fromStdString(moved.name), QString::fromStdString(moved.newId),
                          QString::fromStdString(moved.ourId));
    }
    if (!report.modified.empty()) {
        lines << QStringLiteral("- modificati: %1").arg(names(report.modified));
    }
    if (!report.deleted.empty()) {
        lines << QStringLiteral("- eliminati: %1").arg(names(report.deleted));
    }
    if (!report.conflicts.empty()) {
        lines << QString()
              << QStringLiteral(
                     "Conflitti (lo stesso cliente cambiato anche "
                     "sull'altro computer):");
        for (const auto& conflict : report.conflicts) lines << conflictLine(conflict);
    }
    return lines.join(QLatin1Char('\n'));
}

QString mergeOtherDesksSave(Form1& form) {
    Recovery* recovery = form.recovery.get();
    if (recovery == nullptr || !recovery->openedBook || !form.ArchiveBook) return {};
    const std::filesystem::path& archive = form.archivePath();
    const std::optional<customers::ArchiveIdentity> now = customers::statArchive(archive);
    if (!now || sameFile(*recovery, archive, *now)) return {};

    archive::Workbook theirs = archive::Workbook::open(archive);
    archive::Workbook merged = theirs;
    const QString mark =
        QStringLiteral("Versione in conflitto del computer %1, %2")
            .arg(QString::fromStdString(DeskLock::thisHost()),
                 QDateTime::currentDateTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")));
    const customers::DeskMergeReport report = customers::mergeOurChanges(
        merged, *recovery->openedBook, *form.ArchiveBook, mark.toStdString());
    form.ArchiveBook = std::move(merged);
    // The steps recorded so far name rows of the workbook just replaced.
    if (form.changeHistory) {
        form.changeHistory->forgetAll();
        updateUndoActions(form);
    }
    Q_EMIT form.registerChanged();
    recovery->openedBook = std::move(theirs);
    recovery->openedFile = *now;
    return mergeReportText(report);
}

}  // namespace clivara::operations
