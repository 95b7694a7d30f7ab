#include "register/customer_rows.h"

#include <charconv>
#include <cmath>
#include <string>

#include "archive/archive_error.h"
#include "archive/records/cell_text.h"
#include "register/customer_fields.h"

namespace clivara::customers {

using archive::ArchiveError;
using archive::ArchiveProblem;
using archive::CellKind;
using archive::Sheet;

namespace {

// A text the workbook layer would store as a whole number ("42", "-7"), with its value.
bool wholeNumberOf(std::string_view text, double& value) {
    const archive::StoredForm form = archive::storedFormOf(text, false, false);
    if (form.kind != archive::StoredForm::Kind::Number) {
        return false;
    }
    value = form.number;
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Number-like text: an optional sign, digits, at most one decimal separator (comma or point).
bool parseNumberLike(std::string_view text, double& value) {
    text = trimmed(text);
    if (text.empty() || text.size() > 64) {
        return false;
    }
    std::string normal;
    normal.reserve(text.size());
    bool negative = false;
    std::size_t start = 0;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        start = 1;
    }
    bool digit = false;
    bool separator = false;
    for (std::size_t i = start; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digit = true;
            normal.push_back(c);
        } else if ((c == ',' || c == '.') && !separator) {
            separator = true;
            normal.push_back('.');
        } else {
            return false;
        }
    }
    if (!digit) {
        return false;
    }
    double parsed = 0;
    const auto [end, error] = std::from_chars(normal.data(), normal.data() + normal.size(), parsed);
    if (error != std::errc() || end != normal.data() + normal.size() || !std::isfinite(parsed)) {
        return false;
    }
    value = negative ? -parsed : parsed;
    return true;
}

}  // namespace

int findCustomerRowById(const Sheet& clienti, std::string_view id) {
    if (id.empty()) {
        return 0;
    }
    // A number cell can only read as id when id is its plain decimal text (or a date or a
    // decimal, which the text comparison below settles); the text of a number cell is built
    // only for cells whose value is id's number, so the walk builds no text per row.
    double idNumber = 0;
    const bool idIsWholeNumber = wholeNumberOf(id, idNumber);
    const double tolerance = (std::abs(idNumber) + 1.0) * 1e-12;
    const int last = clienti.endDown(2, kIdColumn);
    for (int row = 2; row <= last; ++row) {
        clienti.readAhead(row, kIdColumn);
        switch (clienti.kind(row, kIdColumn)) {
            case CellKind::Empty:
                continue;
            case CellKind::Number:
                if (idIsWholeNumber &&
                    std::abs(clienti.number(row, kIdColumn) - idNumber) > tolerance) {
                    continue;
                }
                break;
            default:
                break;
        }
        if (clienti.text(row, kIdColumn) == id) {
            return row;
        }
    }
    return 0;
}

int firstFreeCustomerRow(const Sheet& clienti) {
    if (clienti.isEmpty(1, kNameColumn)) {
        return 1;
    }
    if (clienti.isEmpty(2, kNameColumn)) {
        return 2;
    }
    // A1 and A2 are filled: End(xlDown) from A1 is the last row of the run that starts
    // there, and the row after it is the first gap.
    const int runEnd = clienti.endDown(1, kNameColumn);
    if (runEnd >= Sheet::kLastRow) {
        return clienti.isEmpty(Sheet::kLastRow, kNameColumn) ? Sheet::kLastRow : 0;
    }
    if (runEnd >= 2 && clienti.isEmpty(runEnd + 1, kNameColumn)) {
        return runEnd + 1;
    }
    for (int row = 3; row <= Sheet::kLastRow; ++row) {
        if (clienti.isEmpty(row, kNameColumn)) {
            return row;
        }
    }
    return 0;
}

void setNewCustomerCell(Sheet& clienti, int row, int column, std::string_view text) {
    // Row 1 holds the headings: the row above row 2 is no customer's.
    clienti.setTextLike(row, column, text, row > 2 ? row - 1 : 0);
}

double counterValue(const Sheet& codici) {
    switch (codici.kind(2, 1)) {
        case CellKind::Empty:
            return 0;
        case CellKind::Number:
            return codici.number(2, 1);
        case CellKind::Text: {
            double value = 0;
            if (parseNumberLike(codici.text(2, 1), value)) {
                return value;
            }
            break;
        }
        default:
            break;
    }
    throw ArchiveError(ArchiveProblem::NotANumber,
                       "La cella A2 del foglio \"Codici\" non contiene un numero: \"" +
                           codici.text(2, 1).substr(0, 40) + "\".");
}

std::string counterText(double value) {
    return archive::numberToText(value, archive::NumberStyle::Plain, false);
}

}  // namespace clivara::customers
