#pragma once

#include <QString>

#include "register/desk_merge.h"

class Form1;

namespace clivara::operations {

// Before a save: when the archive file is no longer the one this desk read (another desk or
// an office suite saved meanwhile; size, time and inode, then the hash where those differ),
// the file on disk is read and this desk's changes are made on it
// (customers::mergeOurChanges); the window's workbook becomes the merged one, and the file
// just read counts as the one opened, so that a save tried again does not merge twice.
// Returns what to tell the user, empty when the file had not changed. Throws ArchiveError
// when the new file cannot be read; the window's workbook is then as it was.
QString mergeOtherDesksSave(Form1& form);

// The report of a merge, in Italian: what was carried over, the IDs that changed, the
// conflicts and where this desk's version of each is kept.
QString mergeReportText(const customers::DeskMergeReport& report);

}  // namespace clivara::operations
