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
    text = trimmed(text);
    if (text.empty() || text.find_first_not_of("+-.,0123456789") != text.npos) {
        return std::nullopt;
    }
    // An ID is short: no allocation for it.
    char shortText[32];
    std::string longText;
    char* plain = shortText;
    if (text.size() > sizeof shortText) {
        longText.assign(text);
        plain = longText.data();
    }
    std::replace_copy(text.begin(), text.end(), plain, ',', '.');
    const char* begin = plain;
    const char* end = plain + text.size();
    if (*begin == '+') ++begin;
    double value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) return std::nullopt;
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

// Two cells the archive's own order keeps in sheet order: of one kind, and the same number
// or the same text.
bool sameInOrder(const archive::Sheet& clienti, int a, int b, int field) {
    const archive::CellKind kind = clienti.kind(a, field);
    if (kind != clienti.kind(b, field)) return false;
    if (kind == archive::CellKind::Number) {
        return clienti.number(a, field) == clienti.number(b, field);
    }
    if (kind != archive::CellKind::Text) return false;
    const std::optional<std::string_view> textA = clienti.storedText(a, field);
    const std::optional<std::string_view> textB = clienti.storedText(b, field);
    return textA.has_value() && textB.has_value() && *textA == *textB;
}

// The order by ID or date where every filled cell reads as a value: by that value, where the
// cells of equal values are the same cells too, so that the archive's collation would keep
// them in sheet order anyway and need not be asked. False, with nothing ordered, otherwise.
bool orderByValueAlone(const archive::Sheet& clienti, const std::vector<int>& rows, int field,
                       int first, const std::vector<char>& empty,
                       const std::vector<std::optional<double>>& keys, CustomerOrder& order) {
    const auto at = [first](int row) { return static_cast<std::size_t>(row - first); };
    std::vector<int> filled;
    std::vector<int> blank;
    filled.reserve(rows.size());
    for (const int row : rows) {
        if (empty[at(row)] != 0) {
            blank.push_back(row);
        } else if (!keys[at(row)].has_value()) {
            return false;
        } else {
            filled.push_back(row);
        }
    }
    std::stable_sort(filled.begin(), filled.end(),
                     [&](int a, int b) { return *keys[at(a)] < *keys[at(b)]; });
    for (std::size_t i = 1; i < filled.size(); ++i) {
        if (*keys[at(filled[i - 1])] == *keys[at(filled[i])] &&
            !sameInOrder(clienti, filled[i - 1], filled[i], field)) {
            return false;
        }
    }
    order.filled = filled.size();
    order.rows = std::move(filled);
    order.rows.insert(order.rows.end(), blank.begin(), blank.end());
    return true;
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

CustomerOrder ascendingCustomerOrder(const archive::Sheet& clienti, const std::vector<int>& rows,
                                     int field) {
    if (field < 1 || field > kFieldCount) return {rows, 0};
    if (rows.size() < 2) {
        return {rows, rows.size() == 1 && !clienti.isEmpty(rows.front(), field) ? 1u : 0u};
    }
    const int first = rows.front();
    const int last = rows.back();
    // The archive's own order over the rows they span, keeping only the customers. What is
    // read of each customer for the order is read in sheet order, where the rows lie one after
    // the other in memory, rather than in the order found.
    std::vector<char> isCustomer(static_cast<std::size_t>(last - first + 1), 0);
    for (const int row : rows) isCustomer[static_cast<std::size_t>(row - first)] = 1;
    std::vector<char> empty(isCustomer.size(), 0);
    const bool byValue = field == kIdColumn || field == kDateColumn;
    std::vector<std::optional<double>> keys(byValue ? isCustomer.size() : 0);
    std::string converted;
    for (const int row : rows) {
        const auto offset = static_cast<std::size_t>(row - first);
        empty[offset] = clienti.isEmpty(row, field);
        if (!byValue || empty[offset] != 0) continue;
        std::string_view text;
        if (const std::optional<std::string_view> stored = clienti.storedText(row, field)) {
            text = *stored;
        } else {
            converted = clienti.text(row, field);
            text = converted;
        }
        keys[offset] = field == kIdColumn ? numberOf(text) : dateOf(text);
    }
    CustomerOrder order;
    if (byValue && orderByValueAlone(clienti, rows, field, first, empty, keys, order)) {
        return order;
    }
    order.rows.reserve(rows.size());
    for (const int offset : archive::ascendingRowOrder(clienti, first, last, field)) {
        if (isCustomer[static_cast<std::size_t>(offset)] != 0) order.rows.push_back(first + offset);
    }

    // Empty cells come last in the archive's order; what is before them is filled.
    std::size_t filled = order.rows.size();
    while (filled > 0 && empty[static_cast<std::size_t>(order.rows[filled - 1] - first)] != 0) {
        --filled;
    }
    order.filled = filled;

    if (byValue) {
        // Texts that read as numbers (dates) join the numbers, by value; the rest keep their
        // collated order after them.
        const auto keyOf = [&](int row) -> const std::optional<double>& {
            return keys[static_cast<std::size_t>(row - first)];
        };
        std::stable_sort(order.rows.begin(),
                         order.rows.begin() + static_cast<std::ptrdiff_t>(filled),
                         [&](int a, int b) {
                             const std::optional<double>& ka = keyOf(a);
                             const std::optional<double>& kb = keyOf(b);
                             if (ka.has_value() != kb.has_value()) return ka.has_value();
                             return ka.has_value() && *ka < *kb;
                         });
    }
    return order;
}

std::vector<int> inDirection(const CustomerOrder& order, bool descending) {
    std::vector<int> rows = order.rows;
    if (descending) {
        std::reverse(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(order.filled));
    }
    return rows;
}

std::vector<int> orderCustomerRows(const archive::Sheet& clienti, const std::vector<int>& rows,
                                   int field, bool descending) {
    if (rows.size() < 2 || field < 1 || field > kFieldCount) return rows;
    return inDirection(ascendingCustomerOrder(clienti, rows, field), descending);
}

}  // namespace clivara::customers
