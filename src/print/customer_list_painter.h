#pragma once

#include <functional>
#include <memory>

#include "register/customer_list.h"

class QPagedPaintDevice;

namespace clivara::print {

// Told how far a step has gone (done of total: customers measured in the layout, pages
// painted); returning false cancels it.
using Progress = std::function<bool(int done, int total)>;

enum class PaintResult { Done, Cancelled, Failed };

class ListLayout;
struct ListLayoutDeleter {
    void operator()(ListLayout* layout) const;
};
using ListLayoutPtr = std::unique_ptr<ListLayout, ListLayoutDeleter>;

// Lays the list out for the device's page (its paintable area and resolution): measures
// every text once, gives each column the width its texts need (customers::shareListWidth),
// wraps the texts wider than their column onto further lines (long words break anywhere,
// nothing is cut) and finds the page breaks. Paints nothing, so a cancelled layout
// leaves the device untouched. Null when the progress cancels it.
ListLayoutPtr layOutCustomerList(const customers::CustomerList& list, QPagedPaintDevice& device,
                                 const Progress& progress = {});

// The pages a layout found.
int pageCount(const ListLayout& layout);
// Whether the layout was made for a page like the device's (same size and resolution), so
// that it can be painted there as it is.
bool fitsDevice(const ListLayout& layout, QPagedPaintDevice& device);

// Paints a layout (made for this device's page, see fitsDevice): on each page the title
// with the archive's name and the printing date, the column headings, the customers' lines,
// "Pagina N di M" at the foot, and the total after the last customer. Starts and ends the
// painting on the device itself; a cancel stops after the page being painted. The list the
// layout was made from must still be there.
PaintResult paintCustomerList(const ListLayout& layout, QPagedPaintDevice& device,
                              const Progress& progress = {});

// Both steps at once.
PaintResult paintCustomerList(const customers::CustomerList& list, QPagedPaintDevice& device,
                              const Progress& progress = {});

// A4 landscape with 10 mm margins: the page the list is laid out for unless the user chooses
// another one.
void useListPageLayout(QPagedPaintDevice& device);

}  // namespace clivara::print
