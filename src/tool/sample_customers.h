#pragma once

#include "archive/workbook.h"

namespace clivara::tool {

// Fills a new archive with ten fictional customers (rows 2-11 of "Clienti", in name order,
// IDs 1-10) and sets the counter in "Codici" A2 to 10: a demonstration archive.
void addSampleCustomers(archive::Workbook& book);

}  // namespace clivara::tool
