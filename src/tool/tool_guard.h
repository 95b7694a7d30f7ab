#pragma once

#include <ostream>
#include <utility>

#include "archive/book/archive_guard.h"
#include "tool/tool_commands.h"

namespace clivara::tool {

// Runs a command: whatever the workbook layer or the system throws becomes an Italian line
// on err and the exit code kExitUnreadable.
template <typename Action>
int guarded(std::ostream& err, Action action) {
    return archive::guardedRun(err, kExitUnreadable, std::move(action));
}

}  // namespace clivara::tool
