#pragma once

#include <functional>

#include "register/customer_list.h"

class QPagedPaintDevice;

namespace clivara::print {

// Told how far the work has gone (done of total steps: the customers are measured, then the
// pages painted); returning false cancels it.
using Progress = std::function<bool(int done, int total)>;

enum class PaintResult { Done, Cancelled, Failed };

// Lays the list out for the device's page (its paintable area and resolution) and paints it:
// on each page the title with the archive's name and the printing date, the column headings,
// the customers' lines (texts wider than their column wrap onto further lines, long words
// break anywhere, nothing is cut), "Pagina N di M" at the foot, and the total after the last
// customer. Starts and ends the painting on the device itself.
PaintResult paintCustomerList(const customers::CustomerList& list, QPagedPaintDevice& device,
                              const Progress& progress = {});

// A4 landscape with 10 mm margins: the page the list is laid out for unless the user chooses
// another one.
void useListPageLayout(QPagedPaintDevice& device);

}  // namespace clivara::print
