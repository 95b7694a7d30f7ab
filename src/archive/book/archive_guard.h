#pragma once

#include <exception>
#include <new>
#include <ostream>
#include <utility>

#include "archive/archive_error.h"

namespace clivara::archive {

// Runs an action on an archive and returns its result. Whatever the workbook layer or the
// system throws instead becomes one Italian line on err, and the result is failed: the
// archive's own message for an ArchiveError (missing, damaged, not written, ...), a note on
// memory for bad_alloc, the reason for any other standard exception. Anything else passes on.
template <typename Result, typename Action>
Result guardedRun(std::ostream& err, Result failed, Action&& action) {
    try {
        return std::forward<Action>(action)();
    } catch (const ArchiveError& error) {
        err << error.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "Memoria insufficiente per leggere l'archivio.\n";
    } catch (const std::exception& error) {
        err << "Operazione non riuscita: " << error.what() << "\n";
    }
    return failed;
}

}  // namespace clivara::archive
