#pragma once

#include <string>

#include "archive/workbook.h"

namespace clivara::customers {

// The mark the window would put on field n (1 .. 13) of the customer in that row of
// "Clienti" once loaded: the reason its text fails its check, empty when it passes or the
// field has no check (see fieldHint).
std::string customerFieldMark(const archive::Sheet& clienti, int row, int field);

// True when any checked field of that customer carries a mark: data to be looked at.
bool customerHasMarks(const archive::Sheet& clienti, int row);

}  // namespace clivara::customers
