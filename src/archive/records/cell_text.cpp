#include "archive/records/cell_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>

namespace clivara::archive {

namespace {

namespace chr = std::chrono;

// The last day the application shows: 31/12/9999.
constexpr std::int64_t kLastSerial1900 = 2958465;
constexpr std::int64_t kLastSerial1904 = kLastSerial1900 - 1462;
constexpr std::int64_t kSecondsPerDay = 86400;

// Values this small or this large (after rounding to 15 digits) are shown in scientific
// notation, like "1E+15" or "1,5E-07"; everything between in plain decimal.
constexpr int kLowestPlainExponent = -5;
constexpr int kHighestPlainExponent = 14;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Digits and decimal exponent of value rounded to `precision` significant digits, written
// in scientific form by to_chars (locale-independent).
struct Decimal {
    std::string digits;  // no leading or trailing zeros, at least one digit
    int exponent = 0;    // value = d.ddd × 10^exponent
};

Decimal toDecimal(double magnitude, int precision) {
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), magnitude,
                                      std::chars_format::scientific, precision - 1);
    const std::string_view text(buffer.data(),
                                static_cast<std::size_t>(result.ptr - buffer.data()));
    Decimal decimal;
    const std::size_t e = text.find('e');
    for (std::size_t i = 0; i < e; ++i) {
        if (isDigit(text[i])) decimal.digits.push_back(text[i]);
    }
    std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(),
                    decimal.exponent);
    while (decimal.digits.size() > 1 && decimal.digits.back() == '0') decimal.digits.pop_back();
    return decimal;
}

double parseDecimal(const Decimal& decimal) {
    std::string text =
        decimal.digits + "e" +
        std::to_string(decimal.exponent - static_cast<int>(decimal.digits.size()) + 1);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The fewest significant digits that give the same value as rounding to 15 digits.
Decimal shortestAt15Digits(double magnitude) {
    const Decimal reference = toDecimal(magnitude, 15);
    const double target = parseDecimal(reference);
    for (int precision = 1; precision < 15; ++precision) {
        Decimal candidate = toDecimal(magnitude, precision);
        if (parseDecimal(candidate) == target) return candidate;
    }
    return reference;
}

std::string significantToText(double value) {
    std::string out = value < 0 ? "-" : "";
    const Decimal d = shortestAt15Digits(std::fabs(value));
    const int count = static_cast<int>(d.digits.size());
    if (d.exponent < kLowestPlainExponent || d.exponent > kHighestPlainExponent) {
        out += d.digits[0];
        if (count > 1) out += "," + d.digits.substr(1);
        out += d.exponent < 0 ? "E-" : "E+";
        const int magnitude = std::abs(d.exponent);
        if (magnitude < 10) out += '0';
        out += std::to_string(magnitude);
    } else if (d.exponent >= 0) {
        const auto whole = static_cast<std::size_t>(d.exponent) + 1;
        if (d.digits.size() <= whole) {
            out += d.digits + std::string(whole - d.digits.size(), '0');
        } else {
            out += d.digits.substr(0, whole) + "," + d.digits.substr(whole);
        }
    } else {
        out += "0," + std::string(static_cast<std::size_t>(-d.exponent - 1), '0') + d.digits;
    }
    return out;
}

std::string plainNumber(double value) {
    if (std::isnan(value)) return "#NUM!";
    if (std::isinf(value)) return value > 0 ? "#NUM!" : "-#NUM!";
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        const auto whole = static_cast<std::int64_t>(value);
        return std::to_string(whole);  // also turns -0 into "0"
    }
    return significantToText(value);
}

void appendTwo(std::string& out, unsigned value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

void appendFour(std::string& out, int value) {
    appendTwo(out, static_cast<unsigned>(value / 100));
    appendTwo(out, static_cast<unsigned>(value % 100));
}

chr::year_month_day civilOfSerial(std::int64_t days, bool dateSystem1904) {
    if (dateSystem1904) {
        return chr::year_month_day(chr::sys_days(chr::year{1904} / 1 / 1) + chr::days{days});
    }
    // Serials after the fictitious 29/02/1900 count one day too many.
    const chr::sys_days base = chr::sys_days(chr::year{1899} / 12 / 31);
    return chr::year_month_day(base + chr::days{days >= 61 ? days - 1 : days});
}

std::string dateText(double value, bool withTime, bool dateSystem1904) {
    const std::int64_t last = dateSystem1904 ? kLastSerial1904 : kLastSerial1900;
    if (!(value >= 0) || value >= static_cast<double>(last + 1)) return plainNumber(value);
    const auto seconds = static_cast<std::int64_t>(std::llround(value * kSecondsPerDay));
    const std::int64_t days = seconds / kSecondsPerDay;
    if (days > last) return plainNumber(value);
    const std::int64_t time = seconds % kSecondsPerDay;

    std::string out;
    if (!dateSystem1904 && days == 0) {
        out = "00/01/1900";
    } else if (!dateSystem1904 && days == 60) {
        out = "29/02/1900";
    } else {
        const chr::year_month_day date = civilOfSerial(days, dateSystem1904);
        appendTwo(out, static_cast<unsigned>(date.day()));
        out += '/';
        appendTwo(out, static_cast<unsigned>(date.month()));
        out += '/';
        appendFour(out, static_cast<int>(date.year()));
    }
    if (withTime) {
        out += ' ';
        appendTwo(out, static_cast<unsigned>(time / 3600));
        out += ':';
        appendTwo(out, static_cast<unsigned>(time / 60 % 60));
        out += ':';
        appendTwo(out, static_cast<unsigned>(time % 60));
    }
    return out;
}

// The format's visible letters: quoted text, escaped and padding characters and bracketed
// sections removed, lower-cased. Elapsed-time brackets ([h], [mm], [ss]) and AM/PM markers
// leave an "h" behind, since they show a time.
std::string visibleLetters(std::string_view format) {
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '"') {
            const std::size_t close = format.find('"', i + 1);
            if (close == std::string_view::npos) break;
            i = close;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;  // the next character is shown literally or only sets spacing
        } else if (c == '[') {
            const std::size_t close = format.find(']', i + 1);
            if (close == std::string_view::npos) break;
            const std::string_view inside = format.substr(i + 1, close - i - 1);
            bool elapsed = !inside.empty();
            for (char k : inside) {
                const char l = lower(k);
                if (l != 'h' && l != 'm' && l != 's') elapsed = false;
            }
            if (elapsed) out += 'h';
            i = close;
        } else if ((lower(c) == 'a') && (format.substr(i).size() >= 5) &&
                   lower(format[i + 1]) == 'm' && format[i + 2] == '/' &&
                   lower(format[i + 3]) == 'p' && lower(format[i + 4]) == 'm') {
            out += 'h';
            i += 4;
        } else if (lower(c) == 'a' && format.substr(i).size() >= 3 && format[i + 1] == '/' &&
                   lower(format[i + 2]) == 'p') {
            out += 'h';
            i += 2;
        } else {
            out += lower(c);
        }
    }
    return out;
}

bool parseDigits(std::string_view text, int& value) {
    value = 0;
    for (char c : text) {
        if (!isDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    return true;
}

}  // namespace

NumberStyle numberStyleOfBuiltin(std::uint16_t formatId) {
    if (formatId >= 14 && formatId <= 17) return NumberStyle::Date;
    if ((formatId >= 18 && formatId <= 22) || (formatId >= 45 && formatId <= 47)) {
        return NumberStyle::DateTime;
    }
    return NumberStyle::Plain;
}

NumberStyle numberStyleOfFormat(std::string_view formatString) {
    const std::string letters = visibleLetters(formatString);
    if (letters == "general" || letters == "@") return NumberStyle::Plain;
    bool time = false;
    bool date = false;
    bool month = false;
    for (char c : letters) {
        if (c == 'h' || c == 's') time = true;
        if (c == 'y' || c == 'd') date = true;
        if (c == 'm') month = true;
    }
    if (time) return NumberStyle::DateTime;
    if (date || month) return NumberStyle::Date;
    return NumberStyle::Plain;
}

std::string numberToText(double value, NumberStyle style, bool dateSystem1904) {
    switch (style) {
        case NumberStyle::Date:
            return dateText(value, false, dateSystem1904);
        case NumberStyle::DateTime:
            return dateText(value, true, dateSystem1904);
        case NumberStyle::Plain:
            break;
    }
    return plainNumber(value);
}

std::string booleanToText(bool value) {
    return value ? "VERO" : "FALSO";
}

std::string errorToText(std::uint8_t errorCode) {
    switch (errorCode) {
        case 0x00:
            return "#NULLO!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALORE!";
        case 0x17:
            return "#RIF!";
        case 0x1D:
            return "#NOME?";
        case 0x24:
            return "#NUM!";
        default:
            return "#N/D";  // 0x2A, and any code the application does not define
    }
}

StoredForm storedFormOf(std::string_view text, bool dateFormatAvailable, bool dateSystem1904) {
    StoredForm form;
    // A canonical whole number: what numberToText gives back for it is the same text.
    {
        const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
        const bool allDigits = !digits.empty() && digits.size() <= 15 &&
                               std::all_of(digits.begin(), digits.end(), isDigit);
        if (allDigits && (digits[0] != '0' || digits.size() == 1) && text != "-0") {
            std::int64_t value = 0;
            std::from_chars(digits.data(), digits.data() + digits.size(), value);
            form.kind = StoredForm::Kind::Number;
            form.number = static_cast<double>(digits.size() == text.size() ? value : -value);
            return form;
        }
    }
    if (dateFormatAvailable && text.size() == 10 && text[2] == '/' && text[5] == '/') {
        int day = 0;
        int month = 0;
        int year = 0;
        if (parseDigits(text.substr(0, 2), day) && parseDigits(text.substr(3, 2), month) &&
            parseDigits(text.substr(6, 4), year)) {
            const chr::year_month_day date{chr::year{year},
                                           chr::month{static_cast<unsigned>(month)},
                                           chr::day{static_cast<unsigned>(day)}};
            const int firstYear = dateSystem1904 ? 1904 : 1900;
            if (date.ok() && year >= firstYear) {
                const chr::sys_days epoch = dateSystem1904
                                                ? chr::sys_days(chr::year{1904} / 1 / 1)
                                                : chr::sys_days(chr::year{1899} / 12 / 31);
                std::int64_t serial = (chr::sys_days(date) - epoch).count();
                if (!dateSystem1904 && serial >= 60) ++serial;  // past the fictitious 29/02/1900
                form.kind = StoredForm::Kind::Date;
                form.number = static_cast<double>(serial);
                return form;
            }
        }
    }
    return form;
}

bool isDayMonthYearFormat(std::string_view formatString) {
    std::string normal;
    for (std::size_t i = 0; i < formatString.size(); ++i) {
        const char c = formatString[i];
        if (c == '[') {
            // Locale and colour tags such as [$-410] do not change the digits shown.
            const std::size_t close = formatString.find(']', i + 1);
            if (close == std::string_view::npos) return false;
            i = close;
        } else if (c == '\\' || c == '"') {
            continue;  // dd\/mm\/yyyy and dd"/"mm"/"yyyy show the same slashes
        } else {
            normal += lower(c);
        }
    }
    if (normal.ends_with(";@")) normal.resize(normal.size() - 2);
    return normal == "dd/mm/yyyy";
}

}  // namespace clivara::archive
