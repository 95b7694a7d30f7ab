#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "register/customer_records.h"

namespace clivara::customers {

// One column of the printed customer list: the field it shows, its heading and its share of
// the line's width (the shares add up to 100).
struct ListColumn {
    int field = 0;
    std::string_view heading;
    int share = 0;
};

// Name, ID, address, postcode, town, province, telephone, mobile, tax code and VAT number;
// the date and the two notes are not printed.
inline constexpr std::array<ListColumn, 10> kListColumns = {{
    {1, "Ragione Sociale", 18},
    {2, "ID", 5},
    {4, "Indirizzo", 18},
    {5, "C.A.P.", 5},
    {6, "Località", 11},
    {7, "(PR)", 4},
    {8, "Telefono", 9},
    {9, "Cellullare", 9},
    {10, "Codice Fiscale", 12},
    {11, "Partita IVA", 9},
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

// blockLines[i]: the lines of customer i (at least 1 each). Always at least one page, also
// for an empty list (its page carries the headings and the total).
std::vector<ListPage> paginate(const std::vector<int>& blockLines, const PageMeasures& measures);

}  // namespace clivara::customers
