#pragma once

#include <QString>

class Form1;

namespace clivara::operations {

// Writes the open archive over its file atomically. On failure the file is left as it was
// and the Italian reason is returned; an empty text means the archive was saved. Before the
// file is replaced it is kept in the backups (a backup that fails is told in *backupProblem
// and does not stop the save). A save removes the journal of the changes; when nothing
// changed since the archive was opened, the file is not written at all. When another desk
// saved the archive meanwhile, this desk's changes are merged onto its save first and
// *mergeReport says what was merged (mergeOtherDesksSave); a file held open by another
// computer is waited for (saveWaitingForReaders). Read-only, nothing is ever written.
QString saveArchive(Form1& form, QString* backupProblem = nullptr, QString* mergeReport = nullptr);

// Where the archive goes when it cannot be saved over its file while the program is made to
// end (a signal): a copy beside it or, failing that, in the home folder. Returns the path of
// the copy, or an empty text when no copy could be written.
QString saveRescueCopy(Form1& form);

// The program is made to end from outside (SIGTERM, SIGHUP, Ctrl+C): the archive is saved as
// "Esci" does and the program ends. When the save fails the archive file stays as it was, a
// copy of the open workbook is written where possible (saveRescueCopy), both are reported
// on the standard error, and the program still ends (code 1): whoever ends it would not wait.
void endOnRequest(Form1& form, int signalNumber);

}  // namespace clivara::operations
