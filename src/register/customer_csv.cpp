#include "register/customer_csv.h"

#include <optional>
#include <string_view>

#include "register/customer_fields.h"

namespace clivara::customers {

namespace {

void appendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        if (c == '"') out.push_back('"');
        out.push_back(c);
    }
    out.push_back('"');
}

// A bare field must not hold what would end or split it.
bool needsQuotes(std::string_view text) {
    return text.find_first_of(";\"\r\n") != std::string_view::npos ||
           (!text.empty() && (text.front() == ' ' || text.back() == ' '));
}

void appendCell(std::string& out, const archive::Sheet& clienti, int row, int column,
                std::string& converted) {
    if (const std::optional<std::string_view> stored = clienti.storedText(row, column)) {
        if (!stored->empty()) appendQuoted(out, *stored);
        return;
    }
    converted = clienti.text(row, column);
    if (needsQuotes(converted)) {
        appendQuoted(out, converted);
    } else {
        out += converted;
    }
}

}  // namespace

std::string customersAsCsv(const archive::Sheet& clienti, std::span<const int> rows) {
    std::string out = "\xEF\xBB\xBF";
    std::string converted;
    for (int column = 1; column <= kFieldCount; ++column) {
        if (column > 1) out.push_back(';');
        const std::string heading = clienti.text(1, column);
        appendQuoted(out, heading.empty() ? std::string(fieldCaption(column)) : heading);
    }
    out += "\r\n";
    // A first sample of rows tells how much room the rest will take.
    constexpr std::size_t kSample = 64;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i == kSample) out.reserve(out.size() / kSample * rows.size() * 9 / 8);
        const int row = rows[i];
        for (int column = 1; column <= kFieldCount; ++column) {
            if (column > 1) out.push_back(';');
            appendCell(out, clienti, row, column, converted);
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace clivara::customers
