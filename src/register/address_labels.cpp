#include "register/address_labels.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "register/customer_fields.h"

namespace clivara::customers {

namespace {

constexpr int kAddressColumn = 4;
constexpr int kTownColumn = 6;

// A field's text without the spaces around it (and around each of its lines).
std::string trimmed(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(begin, text.find_last_not_of(" \t") - begin + 1));
}

// Adds each non-empty line of a field (CR LF, CR and LF end a line).
void addLines(std::string_view text, std::vector<std::string>& lines) {
    std::size_t begin = 0;
    while (begin <= text.size()) {
        std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        if (std::string line = trimmed(text.substr(begin, end - begin)); !line.empty()) {
            lines.push_back(std::move(line));
        }
        if (end + 1 < text.size() && text[end] == '\r' && text[end + 1] == '\n') {
            ++end;
        }
        begin = end + 1;
    }
}

// The same text in capitals, as Italian writes them (à as À, ß as SS).
std::string capitals(std::string_view text) {
    icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    unicode.toUpper(icu::Locale::getItalian());
    std::string out;
    unicode.toUTF8String(out);
    return out;
}

// A field on one line: its line breaks as spaces.
std::string oneLine(std::string_view text) {
    std::vector<std::string> lines;
    addLines(text, lines);
    std::string out;
    for (const std::string& line : lines) {
        out += (out.empty() ? "" : " ") + line;
    }
    return out;
}

}  // namespace

std::string LabelFormat::description() const {
    const auto length = [](double mm) {
        std::string text = std::to_string(mm);
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') {
            text.pop_back();
        }
        std::replace(text.begin(), text.end(), '.', ',');
        return text;
    };
    const std::string times = " \u00d7 ";
    return std::to_string(columns) + times + std::to_string(rows) + " (" + length(width) + times +
           length(height) + " mm)";
}

const LabelFormat* findLabelFormat(std::string_view name) {
    for (const LabelFormat& format : kLabelFormats) {
        if (format.name == name) {
            return &format;
        }
    }
    return nullptr;
}

std::vector<std::string> postalLines(const CustomerRecord& customer) {
    std::vector<std::string> lines;
    addLines(customer.field(kNameColumn), lines);
    addLines(customer.field(kAddressColumn), lines);
    std::string place = oneLine(customer.field(kPostcodeColumn));
    if (const std::string town = capitals(oneLine(customer.field(kTownColumn))); !town.empty()) {
        place += (place.empty() ? "" : " ") + town;
    }
    if (const std::string province = capitals(oneLine(customer.field(kProvinceColumn)));
        !province.empty()) {
        place += (place.empty() ? "(" : " (") + province + ")";
    }
    if (!place.empty()) {
        lines.push_back(std::move(place));
    }
    return lines;
}

LabelRun::LabelRun(const LabelFormat& format, int firstRow, int firstColumn, std::size_t labels)
    : format_(format), labels_(labels) {
    const int row = std::clamp(firstRow, 1, format.rows) - 1;
    const int column = std::clamp(firstColumn, 1, format.columns) - 1;
    skipped_ = static_cast<std::size_t>(row * format.columns + column);
}

std::size_t LabelRun::sheetCount() const {
    const auto perSheet = static_cast<std::size_t>(format_.perSheet());
    return labels_ == 0 ? 1 : (skipped_ + labels_ + perSheet - 1) / perSheet;
}

LabelPlace LabelRun::place(std::size_t label) const {
    const auto perSheet = static_cast<std::size_t>(format_.perSheet());
    const std::size_t at = skipped_ + label;
    const auto onSheet = static_cast<int>(at % perSheet);
    return {at / perSheet, onSheet / format_.columns, onSheet % format_.columns};
}

double LabelRun::labelLeft(const LabelPlace& place) const {
    return format_.left + place.column * (format_.width + format_.columnGap);
}

double LabelRun::labelTop(const LabelPlace& place) const {
    return format_.top + place.row * (format_.height + format_.rowGap);
}

namespace {

constexpr double kBaseSize = 10;
constexpr double kFloorSize = 7;
constexpr double kLeastSize = 3;
constexpr double kStep = 0.25;

double stepDown(double size) {
    return std::floor(size / kStep) * kStep;
}

}  // namespace

double fitLabel(const std::vector<std::string>& lines, double width, double height,
                LabelTypesetter& typesetter, std::vector<LabelLine>& out) {
    double limit = kBaseSize;
    for (;;) {
        out.clear();
        double used = 0;
        const double floor = std::min(kFloorSize, limit);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const bool bold = i == 0;
            double size = limit;
            double advance = typesetter.advance(lines[i], size, bold);
            if (advance > width) {
                // The advance grows with the size: start from the size that should fit.
                size = std::max(floor, std::min(size, stepDown(size * width / advance)));
                advance = typesetter.advance(lines[i], size, bold);
                while (advance > width && size > floor) {
                    size = std::max(floor, size - kStep);
                    advance = typesetter.advance(lines[i], size, bold);
                }
            }
            const std::size_t before = out.size();
            if (advance > width) {
                for (std::string& piece : typesetter.wrap(lines[i], size, bold, width)) {
                    out.push_back({std::move(piece), size, bold});
                }
            } else {
                out.push_back({lines[i], size, bold});
            }
            used += static_cast<double>(out.size() - before) * typesetter.lineSpacing(size, bold);
        }
        if (used <= height || limit <= kLeastSize) {
            return used;
        }
        const double smaller = stepDown(limit * height / used);
        limit = std::max(kLeastSize, smaller < limit ? smaller : limit - kStep);
    }
}

}  // namespace clivara::customers
