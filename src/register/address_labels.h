#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "register/customer_records.h"

namespace clivara::customers {

// A sheet of address labels on A4 paper (210 x 297 mm, portrait): columns x rows labels of
// one size, the first one `top` below the paper's top edge and `left` right of its left edge,
// with gaps between columns and between rows. All lengths in millimetres.
struct LabelFormat {
    std::string_view name;  // as the tool's --formato takes it
    int columns = 0;
    int rows = 0;
    double width = 0;
    double height = 0;
    double left = 0;
    double top = 0;
    double columnGap = 0;
    double rowGap = 0;

    int perSheet() const { return columns * rows; }
    // "3 × 8 (70 × 37 mm)", "3 × 7 (70 × 42,3 mm)": as the window offers it.
    std::string description() const;
};

// The label sheets the office can print on; a new one is one more line (the table's order is
// the order the window offers them in, the first is the default).
inline constexpr std::array<LabelFormat, 3> kLabelFormats = {{
    {"3x8", 3, 8, 70.0, 37.0, 0.0, 0.5, 0.0, 0.0},
    {"3x7", 3, 7, 70.0, 42.3, 0.0, 0.45, 0.0, 0.0},
    {"2x7", 2, 7, 99.1, 38.1, 4.65, 15.15, 2.5, 0.0},
}};

// The format of that name; null when there is none.
const LabelFormat* findLabelFormat(std::string_view name);

// The room left free inside each label, in millimetres from its edges: the text never comes
// closer to the label's border.
inline constexpr double kLabelInsetX = 4.0;
inline constexpr double kLabelInsetY = 2.5;

// A customer's address as an envelope takes it (the Italian postal layout): the Ragione
// Sociale, the Indirizzo, then "C.A.P. LOCALITÀ (PR)" with the town in capitals. Line
// breaks inside a field start further lines; a field that is empty (or only spaces) gives no
// line, and the last line leaves out what is empty.
std::vector<std::string> postalLines(const CustomerRecord& customer);

// Where a label falls: the sheet (0 = the first) and its row and column there (0-based).
struct LabelPlace {
    std::size_t sheet = 0;
    int row = 0;
    int column = 0;
};

// The labels of a run: the first sheet may be partly used, the labels before (firstRow,
// firstColumn) (1-based, as the window asks it) then stay free; labels fill the rows from
// left to right, sheet after sheet.
class LabelRun {
  public:
    // The first free label is brought within the sheet.
    LabelRun(const LabelFormat& format, int firstRow, int firstColumn, std::size_t labels);

    const LabelFormat& format() const { return format_; }
    std::size_t labelCount() const { return labels_; }
    // At least one sheet, also for no labels.
    std::size_t sheetCount() const;
    LabelPlace place(std::size_t label) const;
    // The top-left corner of a place's label on its sheet, in millimetres.
    double labelLeft(const LabelPlace& place) const;
    double labelTop(const LabelPlace& place) const;

  private:
    LabelFormat format_;
    std::size_t skipped_ = 0;
    std::size_t labels_ = 0;
};

// How a label's lines are measured and broken, in the unit of the label's room; the fitting
// below decides the sizes.
class LabelTypesetter {
  public:
    virtual ~LabelTypesetter() = default;
    virtual double advance(const std::string& text, double size, bool bold) = 0;
    virtual double lineSpacing(double size, bool bold) = 0;
    // The text broken into pieces no wider than width (at spaces, inside a word wider than
    // that), without the spaces that ended them.
    virtual std::vector<std::string> wrap(const std::string& text, double size, bool bold,
                                          double width) = 0;
};

// One line as drawn on a label, at its type size in points; the first line (the Ragione
// Sociale) is bold.
struct LabelLine {
    std::string text;
    double size = 0;
    bool bold = false;
};

// The lines of one label fitted into width x height: each line at 10 pt when it fits, else
// smaller in quarter points down to a floor of 7 pt, below which it wraps; a label whose lines
// are still taller than its room is drawn smaller as a whole, down to 3 pt. Returns the height
// the lines take.
double fitLabel(const std::vector<std::string>& lines, double width, double height,
                LabelTypesetter& typesetter, std::vector<LabelLine>& out);

}  // namespace clivara::customers
