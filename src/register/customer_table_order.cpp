#include "register/customer_table_order.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "archive/sort/sort_archive.h"
#include "register/customer_fields.h"

namespace clivara::customers {

namespace {

constexpr int kDateColumn = 3;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// A number as the text shows it: digits with an optional sign and one decimal point or
// comma, spaces around allowed.
std::optional<double> numberOf(std::string_view text) {
    std::string plain(trimmed(text));
    std::replace(plain.begin(), plain.end(), ',', '.');
    if (plain.empty() || plain.find_first_not_of("+-.0123456789") != std::string::npos) {
        return std::nullopt;
    }
    const char* begin = plain.data();
    if (*begin == '+') ++begin;
    double value = 0;
    const auto [end, error] = std::from_chars(begin, plain.data() + plain.size(), value);
    if (error != std::errc() || end != plain.data() + plain.size()) return std::nullopt;
    return value;
}

// Reads up to `most` digits at `at`; false when there are fewer than `least`.
bool readDigits(std::string_view text, std::size_t& at, std::size_t least, std::size_t most,
                int& value) {
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && at - start < most && text[at] >= '0' && text[at] <= '9') {
        value = value * 10 + (text[at] - '0');
        ++at;
    }
    return at - start >= least;
}

// A date dd/mm/yyyy (one or two digits for day and month, a time hh:mm[:ss] may follow) as
// one comparable number; nothing for any other text.
std::optional<double> dateOf(std::string_view text) {
    text = trimmed(text);
    std::size_t at = 0;
    int day = 0, month = 0, year = 0;
    if (!readDigits(text, at, 1, 2, day) || at >= text.size() || text[at++] != '/' ||
        !readDigits(text, at, 1, 2, month) || at >= text.size() || text[at++] != '/' ||
        !readDigits(text, at, 4, 4, year)) {
        return std::nullopt;
    }
    if (day < 1 || day > 31 || month < 1 || month > 12) return std::nullopt;
    double seconds = 0;
    if (at < text.size()) {
        int hours = 0, minutes = 0, rest = 0;
        if (text[at++] != ' ' || !readDigits(text, at, 1, 2, hours) || at >= text.size() ||
            text[at++] != ':' || !readDigits(text, at, 2, 2, minutes)) {
            return std::nullopt;
        }
        if (at < text.size() && (text[at++] != ':' || !readDigits(text, at, 2, 2, rest))) {
            return std::nullopt;
        }
        if (at != text.size()) return std::nullopt;
        seconds = hours * 3600.0 + minutes * 60.0 + rest;
    }
    return (year * 10000.0 + month * 100.0 + day) * 100000.0 + seconds;
}

}  // namespace

std::vector<int> customerRows(const archive::Sheet& clienti) {
    std::vector<int> rows;
    const int last = clienti.lastUsedRow();
    if (last >= kFirstCustomerRow) rows.reserve(static_cast<std::size_t>(last - 1));
    for (int row = kFirstCustomerRow; row <= last; ++row) {
        clienti.readAhead(row, kNameColumn);
        if (!clienti.isEmpty(row, kNameColumn)) rows.push_back(row);
    }
    return rows;
}

std::vector<int> orderCustomerRows(const archive::Sheet& clienti, const std::vector<int>& rows,
                                   int field, bool descending) {
    if (rows.size() < 2 || field < 1 || field > kFieldCount) return rows;
    const int first = rows.front();
    const int last = rows.back();
    // The archive's own order over the rows they span, keeping only the customers.
    std::vector<char> isCustomer(static_cast<std::size_t>(last - first + 1), 0);
    for (const int row : rows) isCustomer[static_cast<std::size_t>(row - first)] = 1;
    std::vector<int> ordered;
    ordered.reserve(rows.size());
    for (const int offset : archive::ascendingRowOrder(clienti, first, last, field)) {
        if (isCustomer[static_cast<std::size_t>(offset)] != 0) ordered.push_back(first + offset);
    }

    // Empty cells come last in the archive's order; what is before them is filled.
    std::size_t filled = ordered.size();
    while (filled > 0 && clienti.isEmpty(ordered[filled - 1], field)) --filled;

    if (field == kIdColumn || field == kDateColumn) {
        // Texts that read as numbers (dates) join the numbers, by value; the rest keep their
        // collated order after them.
        struct Keyed {
            int row;
            std::optional<double> key;
        };
        std::vector<Keyed> keyed;
        keyed.reserve(filled);
        for (std::size_t i = 0; i < filled; ++i) {
            const std::string text = clienti.text(ordered[i], field);
            keyed.push_back({ordered[i], field == kIdColumn ? numberOf(text) : dateOf(text)});
        }
        std::stable_sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
            if (a.key.has_value() != b.key.has_value()) return a.key.has_value();
            return a.key.has_value() && *a.key < *b.key;
        });
        for (std::size_t i = 0; i < filled; ++i) ordered[i] = keyed[i].row;
    }
    if (descending) {
        std::reverse(ordered.begin(), ordered.begin() + static_cast<std::ptrdiff_t>(filled));
    }
    return ordered;
}

}  // namespace clivara::customers
