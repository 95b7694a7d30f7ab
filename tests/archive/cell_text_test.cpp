#include "archive/records/cell_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace clivara::archive {
namespace {

std::string plain(double v) {
    return numberToText(v, NumberStyle::Plain, false);
}
std::string date1900(double v) {
    return numberToText(v, NumberStyle::Date, false);
}
std::string dateTime1900(double v) {
    return numberToText(v, NumberStyle::DateTime, false);
}

TEST(CellText, WholeNumbersArePlainDecimal) {
    EXPECT_EQ(plain(42), "42");
    EXPECT_EQ(plain(-7), "-7");
    EXPECT_EQ(plain(0), "0");
    EXPECT_EQ(plain(-0.0), "0");
    EXPECT_EQ(plain(1655149088), "1655149088");
    EXPECT_EQ(plain(999999999999999), "999999999999999");
    EXPECT_EQ(plain(-999999999999999), "-999999999999999");
}

TEST(CellText, FractionsUseFifteenDigitsAndTheDecimalComma) {
    EXPECT_EQ(plain(7.5), "7,5");
    EXPECT_EQ(plain(0.1), "0,1");
    EXPECT_EQ(plain(0.1 + 0.2), "0,3");  // 0.30000000000000004 at 15 digits
    EXPECT_EQ(plain(-1.25), "-1,25");
    EXPECT_EQ(plain(1.0 / 3.0), "0,333333333333333");
    EXPECT_EQ(plain(2.0 / 3.0), "0,666666666666667");
    EXPECT_EQ(plain(123456.789), "123456,789");
    EXPECT_EQ(plain(0.0001), "0,0001");
    EXPECT_EQ(plain(0.00001), "0,00001");
    // Rounding to 15 digits can reach a whole number.
    EXPECT_EQ(plain(2.0000000000000004), "2");
    EXPECT_EQ(plain(99999999999999.99), "100000000000000");
    EXPECT_EQ(plain(12345678.123456789), "12345678,1234568");
}

TEST(CellText, VeryLargeAndVerySmallUseScientificNotation) {
    EXPECT_EQ(plain(1e15), "1E+15");
    EXPECT_EQ(plain(-1e15), "-1E+15");
    EXPECT_EQ(plain(1234567890123456.0), "1,23456789012346E+15");
    EXPECT_EQ(plain(1e300), "1E+300");
    EXPECT_EQ(plain(1.5e-7), "1,5E-07");
    EXPECT_EQ(plain(999999999999999.9), "1E+15");
}

TEST(CellText, DatesInThe1900System) {
    EXPECT_EQ(date1900(1), "01/01/1900");
    EXPECT_EQ(date1900(59), "28/02/1900");
    EXPECT_EQ(date1900(60), "29/02/1900");
    EXPECT_EQ(date1900(61), "01/03/1900");
    EXPECT_EQ(date1900(0), "00/01/1900");
    EXPECT_EQ(date1900(45292), "01/01/2024");
    EXPECT_EQ(date1900(45351), "29/02/2024");
    EXPECT_EQ(date1900(2958465), "31/12/9999");
    // Outside the calendar: the plain number.
    EXPECT_EQ(date1900(2958466), "2958466");
    EXPECT_EQ(date1900(-1), "-1");
    EXPECT_EQ(date1900(-0.5), "-0,5");
}

TEST(CellText, DatesInThe1904System) {
    EXPECT_EQ(numberToText(0, NumberStyle::Date, true), "01/01/1904");
    EXPECT_EQ(numberToText(59, NumberStyle::Date, true), "29/02/1904");
    EXPECT_EQ(numberToText(45292 - 1462, NumberStyle::Date, true), "01/01/2024");
    EXPECT_EQ(numberToText(2958465 - 1462, NumberStyle::Date, true), "31/12/9999");
    EXPECT_EQ(numberToText(2958465 - 1461, NumberStyle::Date, true), "2957004");
    EXPECT_EQ(numberToText(-1, NumberStyle::Date, true), "-1");
}

TEST(CellText, TimesRoundToTheNearestSecond) {
    EXPECT_EQ(dateTime1900(45292.5), "01/01/2024 12:00:00");
    EXPECT_EQ(dateTime1900(45292 + 1.0 / 86400 * 0.6), "01/01/2024 00:00:01");
    EXPECT_EQ(dateTime1900(45292 + (86400 - 0.4) / 86400), "02/01/2024 00:00:00");
    EXPECT_EQ(dateTime1900(0.75), "00/01/1900 18:00:00");
    EXPECT_EQ(numberToText(0.25, NumberStyle::DateTime, true), "01/01/1904 06:00:00");
    EXPECT_EQ(date1900(45292.9999999), "02/01/2024");
    EXPECT_EQ(dateTime1900(2958465.99999999), "2958465,99999999");
}

TEST(CellText, BuiltinFormats) {
    for (int id : {14, 17}) EXPECT_EQ(numberStyleOfBuiltin(id), NumberStyle::Date) << id;
    for (int id : {18, 21, 22, 45, 47})
        EXPECT_EQ(numberStyleOfBuiltin(id), NumberStyle::DateTime) << id;
    for (int id : {0, 13, 23, 44, 48, 49})
        EXPECT_EQ(numberStyleOfBuiltin(id), NumberStyle::Plain) << id;
}

TEST(CellText, CustomFormats) {
    struct Case {
        const char* format;
        NumberStyle style;
    };
    const std::vector<Case> cases = {
        {"General", NumberStyle::Plain},
        {"@", NumberStyle::Plain},
        {"0.00", NumberStyle::Plain},
        {"#,##0;[Red]-#,##0", NumberStyle::Plain},
        {"0.00E+00", NumberStyle::Plain},
        {"\"Days\" 0", NumberStyle::Plain},       // letters inside quotes
        {"0\\d", NumberStyle::Plain},             // escaped letter
        {"_-* #,##0 _d_-;", NumberStyle::Plain},  // padding characters
        {"[$-410]0.00", NumberStyle::Plain},      // locale tag only
        {"[Green]0;[Red]-0", NumberStyle::Plain},
        {"dd/mm/yyyy", NumberStyle::Date},
        {"DD/MM/YYYY;@", NumberStyle::Date},
        {"[$-410]d mmmm yyyy", NumberStyle::Date},
        {"mmm-yy", NumberStyle::Date},
        {"dd/mm/yyyy hh:mm", NumberStyle::DateTime},
        {"h:mm AM/PM", NumberStyle::DateTime},
        {"mm:ss", NumberStyle::DateTime},
        {"[h]:mm", NumberStyle::DateTime},
        {"[mm]", NumberStyle::DateTime},
        {"\"unterminated", NumberStyle::Plain},
        {"[unterminated d", NumberStyle::Plain},
        {"", NumberStyle::Plain},
    };
    for (const Case& c : cases) EXPECT_EQ(numberStyleOfFormat(c.format), c.style) << c.format;
}

TEST(CellText, BooleansAndErrors) {
    EXPECT_EQ(booleanToText(true), "VERO");
    EXPECT_EQ(booleanToText(false), "FALSO");
    EXPECT_EQ(errorToText(0x00), "#NULLO!");
    EXPECT_EQ(errorToText(0x07), "#DIV/0!");
    EXPECT_EQ(errorToText(0x0F), "#VALORE!");
    EXPECT_EQ(errorToText(0x17), "#RIF!");
    EXPECT_EQ(errorToText(0x1D), "#NOME?");
    EXPECT_EQ(errorToText(0x24), "#NUM!");
    EXPECT_EQ(errorToText(0x2A), "#N/D");
    EXPECT_EQ(errorToText(0x99), "#N/D");
}

TEST(CellText, DayMonthYearFormats) {
    for (const char* yes : {"dd/mm/yyyy", "DD/MM/YYYY", "dd/mm/yyyy;@", "[$-410]dd/mm/yyyy",
                            "dd\\/mm\\/yyyy", "dd\"/\"mm\"/\"yyyy", "[$-410]DD/MM/YYYY;@"}) {
        EXPECT_TRUE(isDayMonthYearFormat(yes)) << yes;
    }
    for (const char* no : {"d/m/yyyy", "dd/mm/yy", "mm/dd/yyyy", "dd-mm-yyyy", "dd/mm/yyyy hh:mm",
                           "General", "", "[$-410dd/mm/yyyy", "dd/mm/yyyy;0"}) {
        EXPECT_FALSE(isDayMonthYearFormat(no)) << no;
    }
}

TEST(CellText, StoredForms) {
    using Kind = StoredForm::Kind;
    auto kind = [](std::string_view t, bool dates = true, bool s1904 = false) {
        return storedFormOf(t, dates, s1904).kind;
    };
    EXPECT_EQ(kind("42"), Kind::Number);
    EXPECT_EQ(storedFormOf("-7", true, false).number, -7);
    EXPECT_EQ(storedFormOf("999999999999999", true, false).number, 999999999999999.0);
    for (const char* text : {"00185", "-0", "+5", "1e3", " 42", "42 ", "7,5", "1000000000000000",
                             "-", "", "4 2", "0x1F", "١٢", "42.0"}) {
        EXPECT_EQ(kind(text), Kind::Text) << text;
    }
    EXPECT_EQ(storedFormOf("01/01/1900", true, false).number, 1);
    EXPECT_EQ(storedFormOf("28/02/1900", true, false).number, 59);
    EXPECT_EQ(storedFormOf("01/03/1900", true, false).number, 61);
    EXPECT_EQ(storedFormOf("01/01/2024", true, false).number, 45292);
    EXPECT_EQ(storedFormOf("01/01/1904", true, true).number, 0);
    EXPECT_EQ(storedFormOf("31/12/9999", true, false).number, 2958465);
    EXPECT_EQ(kind("29/02/2024"), Kind::Date);
    for (const char* text : {"29/02/1900", "29/02/2023", "31/04/2024", "00/01/2024", "01/13/2024",
                             "1/1/2024", "01/01/0000", "31/12/1899", "01-01-2024", "01/01/2024 "}) {
        EXPECT_EQ(kind(text), Kind::Text) << text;
    }
    EXPECT_EQ(kind("31/12/1903", true, true), Kind::Text);
    EXPECT_EQ(kind("01/01/2024", false), Kind::Text);
}

// Storing a text's stored form and showing it again gives the same text, for every text.
TEST(CellText, StoredFormsShowTheirOwnText) {
    std::vector<std::string> texts = {"00185",
                                      "42",
                                      "-0",
                                      "0",
                                      "+5",
                                      "1e3",
                                      " 42",
                                      "42 ",
                                      "999999999999999",
                                      "-999999999999999",
                                      "1000000000000000",
                                      "7,5",
                                      "29/02/2024",
                                      "29/02/2023",
                                      "31/04/2024",
                                      "01/01/1900",
                                      "28/02/1900",
                                      "01/03/1900",
                                      "31/12/9999",
                                      "1/1/2024",
                                      "١٢",
                                      "",
                                      "-"};
    std::mt19937 random(20080);
    const std::string alphabet = "0123456789-/,+ e";
    for (int i = 0; i < 20000; ++i) {
        std::string t;
        const int length = static_cast<int>(random() % 12);
        for (int k = 0; k < length; ++k) t += alphabet[random() % alphabet.size()];
        texts.push_back(t);
        // Well-formed dates of random days, valid or not.
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "%02u/%02u/%04u", static_cast<unsigned>(random() % 33),
                      static_cast<unsigned>(random() % 14),
                      static_cast<unsigned>(1895 + random() % 8200));
        texts.push_back(buffer);
        texts.push_back(std::to_string(static_cast<std::int64_t>(random()) *
                                       static_cast<std::int64_t>(random() % 300000)));
    }
    for (bool s1904 : {false, true}) {
        for (const std::string& t : texts) {
            const StoredForm form = storedFormOf(t, true, s1904);
            if (form.kind == StoredForm::Kind::Number) {
                EXPECT_EQ(numberToText(form.number, NumberStyle::Plain, s1904), t);
            } else if (form.kind == StoredForm::Kind::Date) {
                EXPECT_EQ(numberToText(form.number, NumberStyle::Date, s1904), t);
            }
        }
    }
    // And the other way: every whole number shown is stored as that number again.
    for (int i = 0; i < 20000; ++i) {
        const double n = std::trunc((static_cast<double>(random()) - 2147483648.0) *
                                    static_cast<double>(random() % 400000));
        const StoredForm form = storedFormOf(plain(n), true, false);
        EXPECT_EQ(form.kind, StoredForm::Kind::Number);
        EXPECT_EQ(form.number, n);
    }
}

}  // namespace
}  // namespace clivara::archive
