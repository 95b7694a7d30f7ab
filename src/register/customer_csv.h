#pragma once

#include <span>
#include <string>

#include "archive/workbook.h"

namespace clivara::customers {

// The customers of those rows of "Clienti", in the order given, as a CSV file the way an
// Italian office's spreadsheet and word processor read it: UTF-8 with a byte order mark,
// fields separated by ';', each record ended by CR LF, the thirteen headings of row 1 first
// (a heading cell left empty takes the field's caption). Every field is the cell's text
// exactly as stored. A cell holding a text is always quoted (a quote inside doubled), so that
// an importer keeping quoted fields as text never takes a postcode such as "00184", a
// telephone or a partita IVA for a number; numbers and dates are written bare, as the sheet
// shows them. Line breaks inside a note stay as they are, within the quotes.
std::string customersAsCsv(const archive::Sheet& clienti, std::span<const int> rows);

}  // namespace clivara::customers
