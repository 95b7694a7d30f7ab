#pragma once

#include <exception>
#include <new>
#include <ostream>

#include "archive/archive_error.h"
#include "tool/tool_commands.h"

namespace clivara::tool {

// Runs a command: whatever the workbook layer or the system throws becomes an Italian line
// on err and the exit code kExitUnreadable.
template <typename Action>
int guarded(std::ostream& err, Action action) {
    try {
        return action();
    } catch (const archive::ArchiveError& error) {
        err << error.what() << "\n";
    } catch (const std::bad_alloc&) {
        err << "Memoria insufficiente per leggere l'archivio.\n";
    } catch (const std::exception& error) {
        err << "Operazione non riuscita: " << error.what() << "\n";
    }
    return kExitUnreadable;
}

}  // namespace clivara::tool
