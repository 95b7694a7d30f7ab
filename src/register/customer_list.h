#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "register/customer_records.h"

namespace clivara::customers {

// One column of the printed customer list: the field it shows and its heading. Its width
// comes from the texts it holds (see shareListWidth).
struct ListColumn {
    int field = 0;
    std::string_view heading;
};

// Name, ID, address, postcode, town, province, telephone, mobile, tax code and VAT number;
// the date and the two notes are not printed.
inline constexpr std::array<ListColumn, 10> kListColumns = {{
    {1, "Ragione Sociale"},
    {2, "ID"},
    {4, "Indirizzo"},
    {5, "C.A.P."},
    {6, "Località"},
    {7, "(PR)"},
    {8, "Telefono"},
    {9, "Cellullare"},
    {10, "Codice Fiscale"},
    {11, "Partita IVA"},
}};
inline constexpr std::size_t kListColumnCount = kListColumns.size();

// The list of customers as it is printed: what stands at the top of each page and the
// customers' texts, one line of columns per customer, in sheet order. How the texts are
// wrapped and where the pages break is left to whoever measures them (see paginate).
class CustomerList {
  public:
    CustomerList(const std::vector<CustomerRecord>& customers, std::string archiveName,
                 std::string printingDate);

    static constexpr std::string_view title() { return "Elenco Clienti"; }
    const std::string& archiveName() const { return archiveName_; }
    // "Stampato il 07/12/2026".
    std::string printedOnLine() const;
    // A list of the customers a search found says so beside the archive's name:
    // "ricerca \"rossi\": 12 clienti su 300"; empty for a list of every customer.
    void setSelection(std::string query, std::size_t allCustomers);
    const std::string& selectionLine() const { return selectionLine_; }
    // The line after the last customer: "Totale clienti: 12".
    std::string totalLine() const;
    // The foot of each page: "Pagina 3 di 12".
    static std::string pageLine(int page, int pages);

    std::size_t customerCount() const { return rowNumbers_.size(); }
    // The text of customer i (in sheet order) under list column c, ready to print: line
    // breaks kept as '\n', tabs and other control characters shown as spaces.
    const std::string& cell(std::size_t customer, std::size_t column) const {
        return cells_[customer * kListColumnCount + column];
    }
    // The sheet row customer i stands in.
    int row(std::size_t customer) const { return rowNumbers_[customer]; }

  private:
    std::string archiveName_;
    std::string printingDate_;
    std::string selectionLine_;
    std::vector<std::string> cells_;
    std::vector<int> rowNumbers_;
};

// A cell's text as the list prints it (see CustomerList::cell).
std::string printableText(std::string_view text);

// The page breaks of the list. Each customer takes a block of whole text lines (the most
// lines any of its columns needs once wrapped); a block stays on one page, unless it is taller
// than a whole page, in which case it goes on at the top of the next page from the line where
// the page ended. After the last customer comes the total, which needs room of its own.
struct PageMeasures {
    double bodyHeight = 0;   // room for customer blocks on each page
    double lineHeight = 0;   // one text line
    double blockGap = 0;     // extra room after each customer's block
    double totalHeight = 0;  // room the total needs after the last block
};

// One piece of a customer block on a page: lines [firstLine, firstLine + lineCount).
struct BlockSlice {
    std::size_t customer = 0;
    int firstLine = 0;
    int lineCount = 0;
    bool lastSlice = true;  // the block ends on this page
};

struct ListPage {
    std::vector<BlockSlice> slices;
    bool showsTotal = false;  // only the last page
};

// What one column's texts need across the line, gap included (any unit): the widest text
// (a text of several lines counts its widest line), the width that nine texts in ten do not
// pass, and the least it may have (its heading on one line).
struct ColumnNeed {
    double widest = 0;
    double typical = 0;
    double least = 0;
};

// The columns' widths across room. When every widest text fits, each column gets its widest
// and the rest is shared evenly. Otherwise the columns whose widest text fits in an even
// share of the room still free keep it (so a telephone number or a postcode stays on one
// line), and the others share what remains in proportion to their typical width; no column
// is narrower than its least.
std::array<double, kListColumnCount> shareListWidth(
    double room, const std::array<ColumnNeed, kListColumnCount>& needs);

// What each column needs from the widths of its cells (customer by customer, kListColumnCount
// to a customer, 0 for an empty cell; gap not included), its heading's width and the gap
// between columns (see ColumnNeed).
std::array<ColumnNeed, kListColumnCount> listColumnNeeds(
    const std::vector<float>& cellWidths, const std::array<double, kListColumnCount>& headingWidths,
    double columnGap);

// blockLines[i]: the lines of customer i (at least 1 each). Always at least one page, also
// for an empty list (its page carries the headings and the total).
std::vector<ListPage> paginate(const std::vector<int>& blockLines, const PageMeasures& measures);

}  // namespace clivara::customers
