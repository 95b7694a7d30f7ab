#pragma once

#include <QString>
#include <filesystem>
#include <optional>
#include <string>

#include "register/recovery_journal.h"

class Form1;

namespace clivara::operations {

// The journal of one run's confirmed changes, held by the window (Form1::recovery).
class Recovery {
  public:
    Recovery(std::filesystem::path archive, customers::ArchiveIdentity opened)
        : openedFile(opened), journal(std::move(archive), std::move(opened)) {}
    // The archive file as this desk read it, and its register then: a save finds with them
    // whether another desk saved meanwhile, and what this desk changed since.
    customers::ArchiveIdentity openedFile;
    std::optional<archive::Workbook> openedBook;
    customers::RecoveryJournal journal;
    bool recovered = false;  // the register in the window came from an earlier run's journal
};

// Gives the window a journal for the archive it has just opened.
void enableRecovery(Form1& form);

// Records a change the handler has just made on the workbook; the fields are read from the
// window as the handler wrote them (an addition also takes the counter from "ID"). Throws
// when the change cannot be made durable, so that the handler's guard takes it back. Nothing
// happens when the window has no journal.
void recordChange(Form1& form, customers::RegisterChange::Kind kind, int row);
// The change as recordChange() records it, from the fields of the window.
customers::RegisterChange shownChange(const Form1& form, customers::RegisterChange::Kind kind,
                                      int row);
// After a change was taken back once it had been recorded: the journal is brought in line
// with the workbook. A failure is shown; the program goes on.
void recordTakenBack(Form1& form);

// True when the archive in memory differs from the file it was read from: something was
// recorded, or the window has no journal to tell.
bool hasUnsavedChanges(const Form1& form);
// After the archive was saved: the journal is no longer needed.
void forgetSavedChanges(Form1& form);

// Start-up, after the archive was opened and before the window shows: when an earlier run
// ended without "Esci" and left changes, asks whether to take them back (Yes the default).
// Yes puts the recovered register in the window; No keeps it as a dated file beside the
// archive. When the archive changed on disk since that run opened it, nothing is applied: the
// recovered register is kept beside it and the user is told. takenOverFrom: the computer whose
// lock was taken over after it ended badly; its journal becomes this computer's first, so that
// its changes are offered the same way.
void offerRecovery(Form1& form, const std::string& takenOverFrom = {});

// Where a recovered register is kept beside the archive: "<name>-recupero-AAAA-MM-GG-hhmmss.xls".
std::filesystem::path recoveredCopyPath(const std::filesystem::path& archive);

}  // namespace clivara::operations
