#include "register/customer_list.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace clivara::customers {

std::string printableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\r') {
            // CR LF and a lone CR both end a line.
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else if (byte == '\n') {
            out += '\n';
        } else if (byte < 0x20 || byte == 0x7f) {
            out += ' ';
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

CustomerList::CustomerList(const std::vector<CustomerRecord>& customers, std::string archiveName,
                           std::string printingDate)
    : archiveName_(std::move(archiveName)), printingDate_(std::move(printingDate)) {
    cells_.reserve(customers.size() * kListColumnCount);
    rowNumbers_.reserve(customers.size());
    for (const CustomerRecord& customer : customers) {
        for (const ListColumn& column : kListColumns) {
            cells_.push_back(printableText(customer.field(column.field)));
        }
        rowNumbers_.push_back(customer.row);
    }
}

std::string CustomerList::printedOnLine() const {
    return "Stampato il " + printingDate_;
}

void CustomerList::setSelection(std::string query, std::size_t allCustomers) {
    selectionLine_ = "ricerca \"" + std::move(query) + "\": " + std::to_string(customerCount()) +
                     (customerCount() == 1 ? " cliente su " : " clienti su ") +
                     std::to_string(allCustomers);
}

std::string CustomerList::totalLine() const {
    return "Totale clienti: " + std::to_string(customerCount());
}

std::string CustomerList::pageLine(int page, int pages) {
    return "Pagina " + std::to_string(page) + " di " + std::to_string(pages);
}

std::array<double, kListColumnCount> shareListWidth(
    double room, const std::array<ColumnNeed, kListColumnCount>& needs) {
    std::array<double, kListColumnCount> widths{};
    std::array<double, kListColumnCount> wanted{};
    double need = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        wanted[c] = std::max(needs[c].widest, needs[c].least);
        need += wanted[c];
    }
    if (need <= room) {
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            widths[c] = wanted[c] + (room - need) / static_cast<double>(kListColumnCount);
        }
        return widths;
    }
    std::array<bool, kListColumnCount> fixed{};
    double free = room;
    std::size_t open = kListColumnCount;
    for (bool changed = true; changed && open > 0;) {
        changed = false;
        const double share = free / static_cast<double>(open);
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            if (!fixed[c] && wanted[c] <= share) {
                fixed[c] = true;
                widths[c] = wanted[c];
                free -= wanted[c];
                --open;
                changed = true;
            }
        }
    }
    double weights = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        if (!fixed[c]) {
            weights += std::max(needs[c].typical, needs[c].least);
        }
    }
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        if (!fixed[c]) {
            widths[c] = free * std::max(needs[c].typical, needs[c].least) / std::max(weights, 1e-9);
        }
    }
    // A column below its least takes the difference from the widest column.
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        if (widths[c] < needs[c].least) {
            const auto widest = static_cast<std::size_t>(
                std::max_element(widths.begin(), widths.end()) - widths.begin());
            widths[widest] -= needs[c].least - widths[c];
            widths[c] = needs[c].least;
        }
    }
    return widths;
}

std::vector<ListPage> paginate(const std::vector<int>& blockLines, const PageMeasures& measures) {
    // A little slack so that a block that fits exactly is not pushed over by rounding.
    const double room = measures.bodyHeight + measures.lineHeight * 1e-6;
    const double lineHeight = std::max(measures.lineHeight, 1e-9);
    // The lines of a block that fill an empty page (a page always takes at least one).
    const int linesPerPage =
        std::max(1, static_cast<int>(std::floor((room - measures.blockGap) / lineHeight)));

    std::vector<ListPage> pages(1);
    double used = 0;
    const auto newPage = [&pages, &used] {
        pages.emplace_back();
        used = 0;
    };
    for (std::size_t customer = 0; customer < blockLines.size(); ++customer) {
        const int lines = std::max(1, blockLines[customer]);
        const double height = lines * measures.lineHeight + measures.blockGap;
        if (used + height <= room) {
            pages.back().slices.push_back({customer, 0, lines, true});
            used += height;
            continue;
        }
        if (lines <= linesPerPage) {
            newPage();
            pages.back().slices.push_back({customer, 0, lines, true});
            used = height;
            continue;
        }
        // Taller than a page: start it on a page of its own and go on page after page.
        if (!pages.back().slices.empty()) {
            newPage();
        }
        for (int first = 0; first < lines; first += linesPerPage) {
            const int count = std::min(linesPerPage, lines - first);
            const bool last = first + count == lines;
            pages.back().slices.push_back({customer, first, count, last});
            if (!last) {
                newPage();
            } else {
                used = count * measures.lineHeight + measures.blockGap;
            }
        }
    }
    if (used + measures.totalHeight > room && !pages.back().slices.empty()) {
        newPage();
    }
    pages.back().showsTotal = true;
    return pages;
}

std::array<ColumnNeed, kListColumnCount> listColumnNeeds(
    const std::vector<float>& cellWidths, const std::array<double, kListColumnCount>& headingWidths,
    double columnGap) {
    const std::size_t customers = cellWidths.size() / kListColumnCount;
    std::array<ColumnNeed, kListColumnCount> needs{};
    std::vector<float> column(customers);
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        needs[c].least = headingWidths[c] + columnGap;
        for (std::size_t i = 0; i < customers; ++i) {
            column[i] = cellWidths[i * kListColumnCount + c];
            if (column[i] > 0) {
                needs[c].widest = std::max(needs[c].widest, column[i] + columnGap);
            }
        }
        if (customers > 0) {
            const auto ninth = column.begin() + static_cast<std::ptrdiff_t>(customers * 9 / 10);
            std::nth_element(column.begin(), ninth, column.end());
            needs[c].typical = *ninth + columnGap;
        }
    }
    return needs;
}

}  // namespace clivara::customers
