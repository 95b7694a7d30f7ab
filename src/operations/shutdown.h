#pragma once

#include <QString>

class Form1;

namespace clivara::operations {

// Writes the open archive over its file atomically. On failure the file is left as it was
// and the Italian reason is returned; an empty text means the archive was saved.
QString saveArchive(Form1& form);

// Where the archive goes when it cannot be saved over its file while the program is made to
// end (a signal): a copy beside it or, failing that, in the home folder. Returns the path of
// the copy, or an empty text when no copy could be written.
QString saveRescueCopy(Form1& form);

}  // namespace clivara::operations
