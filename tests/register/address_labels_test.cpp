// Address labels without any device: the postal lines of a customer, the formats' table and
// where each label of a run falls.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "register/address_labels.h"

namespace {

using namespace clivara::customers;

CustomerRecord customer(const std::string& name, const std::string& address,
                        const std::string& postcode, const std::string& town,
                        const std::string& province) {
    CustomerRecord record;
    record.fields[0] = name;
    record.fields[3] = address;
    record.fields[4] = postcode;
    record.fields[5] = town;
    record.fields[6] = province;
    record.fields[7] = "06 445566";  // not on a label
    return record;
}

TEST(AddressLabels, PostalLines) {
    struct Case {
        CustomerRecord customer;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {customer("Rossi S.r.l.", "Via Roma 1", "00185", "Roma", "rm"),
         {"Rossi S.r.l.", "Via Roma 1", "00185 ROMA (RM)"}},
        // Accented capitals as Italian writes them; the spaces around a field go.
        {customer("Caffè Più", " Piazza Città 3 ", "89900", "  vibo valentia ", "VV"),
         {"Caffè Più", "Piazza Città 3", "89900 VIBO VALENTIA (VV)"}},
        {customer("Forlì Srl", "", "47121", "Forlì", "FC"), {"Forlì Srl", "47121 FORLÌ (FC)"}},
        // Line breaks start further lines; empty pieces leave no gap.
        {customer("Bianchi\r\nGruppo Verdi", "Via Po 2\nscala B\r\r", "", "Torino", ""),
         {"Bianchi", "Gruppo Verdi", "Via Po 2", "scala B", "TORINO"}},
        {customer("Solo Nome", "  ", "", "", "MI"), {"Solo Nome", "(MI)"}},
        {customer("Senza Luogo", "Via Lunga 9", "", "", ""), {"Senza Luogo", "Via Lunga 9"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(postalLines(c.customer), c.lines) << c.customer.name();
    }
}

TEST(AddressLabels, FormatsFitTheirSheet) {
    for (const LabelFormat& format : kLabelFormats) {
        SCOPED_TRACE(std::string(format.name));
        EXPECT_EQ(findLabelFormat(format.name), &format);
        const double right =
            format.left + format.columns * format.width + (format.columns - 1) * format.columnGap;
        const double bottom =
            format.top + format.rows * format.height + (format.rows - 1) * format.rowGap;
        EXPECT_LE(right, 210.0 + 1e-9);
        EXPECT_LE(bottom, 297.0 + 1e-9);
        EXPECT_EQ(format.name, std::to_string(format.columns) + "x" + std::to_string(format.rows));
    }
    EXPECT_EQ(findLabelFormat("4x4"), nullptr);
    EXPECT_EQ(kLabelFormats[0].description(), "3 \u00d7 8 (70 \u00d7 37 mm)");
    EXPECT_EQ(findLabelFormat("2x7")->description(), "2 \u00d7 7 (99,1 \u00d7 38,1 mm)");
}

TEST(AddressLabels, RunsStartAtTheFirstFreeLabel) {
    const LabelFormat& format = *findLabelFormat("2x7");  // 14 a sheet
    struct Case {
        int row, column;
        std::size_t labels;
        std::size_t sheets;
        LabelPlace first, last;
    };
    const Case cases[] = {
        {1, 1, 0, 1, {0, 0, 0}, {0, 0, 0}},
        {1, 1, 14, 1, {0, 0, 0}, {0, 6, 1}},
        {1, 1, 15, 2, {0, 0, 0}, {1, 0, 0}},
        {3, 2, 9, 1, {0, 2, 1}, {0, 6, 1}},  // 5 used: 9 left on the first sheet
        {3, 2, 10, 2, {0, 2, 1}, {1, 0, 0}},
        {9, 5, 2, 2, {0, 6, 1}, {1, 0, 0}},  // beyond the sheet: its last label
        {0, -3, 1, 1, {0, 0, 0}, {0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.row << "," << c.column << " " << c.labels);
        const LabelRun run(format, c.row, c.column, c.labels);
        EXPECT_EQ(run.sheetCount(), c.sheets);
        if (c.labels == 0) {
            continue;
        }
        for (const auto& [label, want] :
             {std::pair{std::size_t{0}, c.first}, std::pair{c.labels - 1, c.last}}) {
            const LabelPlace place = run.place(label);
            EXPECT_EQ(place.sheet, want.sheet);
            EXPECT_EQ(place.row, want.row);
            EXPECT_EQ(place.column, want.column);
        }
    }
    const LabelRun run(format, 1, 1, 14);
    EXPECT_DOUBLE_EQ(run.labelLeft({0, 3, 1}), 4.65 + 99.1 + 2.5);
    EXPECT_DOUBLE_EQ(run.labelTop({0, 3, 1}), 15.15 + 3 * 38.1);
}

// Letters a unit wide per point of type, lines 1.2 points a point; wraps every `piece`
// letters, as a font would at the width asked.
class MonospaceTypesetter final : public LabelTypesetter {
  public:
    double advance(const std::string& text, double size, bool) override {
        return static_cast<double>(text.size()) * size;
    }
    double lineSpacing(double size, bool) override { return 1.2 * size; }
    std::vector<std::string> wrap(const std::string& text, double size, bool,
                                  double width) override {
        const auto piece = static_cast<std::size_t>(width / size);
        std::vector<std::string> pieces;
        for (std::size_t at = 0; at < text.size(); at += piece) {
            pieces.push_back(text.substr(at, piece));
        }
        return pieces;
    }
};

TEST(AddressLabels, LinesShrinkToTheFloorThenWrapAndTallLabelsShrinkWhole) {
    MonospaceTypesetter typesetter;
    std::vector<LabelLine> out;
    // Fits: 10 pt, the first line bold.
    EXPECT_DOUBLE_EQ(fitLabel({"Rossi", "Via Po 1"}, 100, 100, typesetter, out), 24);
    ASSERT_EQ(out.size(), 2U);
    EXPECT_TRUE(out[0].bold);
    EXPECT_FALSE(out[1].bold);
    EXPECT_DOUBLE_EQ(out[1].size, 10);
    // 12 letters in 100: the largest quarter point that fits, 8.25 pt.
    fitLabel({"Rossi", "ABCDEFGHIJKL"}, 100, 100, typesetter, out);
    ASSERT_EQ(out.size(), 2U);
    EXPECT_DOUBLE_EQ(out[1].size, 8.25);
    EXPECT_DOUBLE_EQ(out[0].size, 10);
    // 20 letters would need 5 pt: 7 pt and wrapped, nothing lost.
    const std::string longLine(20, 'x');
    fitLabel({"Rossi", longLine}, 100, 100, typesetter, out);
    ASSERT_EQ(out.size(), 3U);
    EXPECT_DOUBLE_EQ(out[1].size, 7);
    EXPECT_EQ(out[1].text + out[2].text, longLine);
    // Four lines of 12 points in 30: the label drawn smaller as a whole, into its room.
    const double used = fitLabel({"a", "b", "c", "d"}, 100, 30, typesetter, out);
    EXPECT_LE(used, 30);
    EXPECT_LT(out[3].size, 10);
    EXPECT_DOUBLE_EQ(out[0].size, out[3].size);
}

}  // namespace
