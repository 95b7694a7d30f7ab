// The tool's PDF text: plain glyph runs and shaped text measure alike, wrapping and eliding
// keep within their width, and nothing is lost or read out of bounds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "pdf/pdf_text.h"
#include "pdf/pdf_writer.h"

namespace {

using clivara::pdf::PdfText;
using clivara::pdf::PdfWriter;

class PdfTextTest : public testing::Test {
  protected:
    std::FILE* file = std::tmpfile();
    PdfWriter writer{file, 595, 842};
    PdfText text{writer};
    const PdfText::Font& body = text.font(8, false);

    ~PdfTextTest() override { std::fclose(file); }
};

TEST_F(PdfTextTest, GlyphRunsMeasureAsShapedTextDoes) {
    // "Forlì" is a plain run; with a CJK letter the same text is shaped, which must give the
    // Latin part the same width.
    const double plain = text.width(body, "Forlì Caffè");
    const double mixed = text.width(body, "Forlì Caffè\u6771");
    EXPECT_GT(plain, 30);
    EXPECT_GT(mixed, plain);
    EXPECT_NEAR(text.width(body, "Forlì Caffè\u0301"), plain, 0.5);  // a combining mark
    EXPECT_GT(text.width(text.font(16, true), "Forlì Caffè"), 2 * plain);
    EXPECT_DOUBLE_EQ(text.width(body, ""), 0);
    // Broken UTF-8 is measured and drawn (as U+FFFD) rather than read past its end.
    EXPECT_GE(text.width(body, std::string("abc\xC3", 4)), 0);
    text.draw(body, 10, 20, std::string("x\xE2\x82", 3));
    text.flush();
    writer.showPage();
    EXPECT_TRUE(writer.finish(text.fonts(), "Prova"));
}

TEST_F(PdfTextTest, WrappingAndElidingKeepWithinTheWidth) {
    const std::string address = "Via Giuseppe Garibaldi 12, scala B interno 4 XXXXXXXXXXXXXXXXXXXX";
    std::string joined;
    for (const std::string& line : text.wrap(body, address, 60)) {
        EXPECT_LE(text.width(body, line), 60.5) << line;
        EXPECT_FALSE(line.empty());
        joined += line;
    }
    std::string squeezed = address;
    std::erase(squeezed, ' ');
    std::erase(joined, ' ');
    EXPECT_EQ(joined, squeezed);  // every letter kept, in order
    EXPECT_EQ(text.wrap(body, "Riga uno\nRiga due", 500).size(), 2U);

    const std::string name = "Archivio clienti di Reggio nell'Emilia 2026.xls";
    EXPECT_EQ(text.elided(body, name, 1000), name);
    const std::string shortened = text.elided(body, name, 80);
    EXPECT_LE(text.width(body, shortened), 80);
    EXPECT_EQ(shortened.substr(0, 3), "Arc");
    EXPECT_NE(shortened.find("\u2026"), std::string::npos);
    EXPECT_EQ(shortened.substr(shortened.size() - 3), "xls");
}

TEST_F(PdfTextTest, OtherScriptsWrapAndBidiKeepsEveryLetter) {
    // Ideographs break between any two; a right-to-left word measures as its letters do.
    const std::string tokyo = "東京都千代田区丸の内一丁目株式会社";
    const std::vector<std::string> lines = text.wrap(body, tokyo, 30);
    EXPECT_GT(lines.size(), 2U);
    std::string joined;
    for (const std::string& line : lines) {
        EXPECT_LE(text.width(body, line), 30.5) << line;
        joined += line;
    }
    EXPECT_EQ(joined, tokyo);
    EXPECT_GT(text.width(body, "Arabo مرحبا"), text.width(body, "Arabo "));
    // Broken bytes inside a wrapped text stand as U+FFFD, never read past.
    const std::vector<std::string> broken = text.wrap(body, std::string("ab \xF0\x9F", 5), 100);
    ASSERT_EQ(broken.size(), 1U);
    EXPECT_EQ(broken[0], "ab \uFFFD\uFFFD");  // one for each byte that starts no character
}

TEST(PdfNumberTest, NumbersAsPdfWritesThem) {
    struct Case {
        double value;
        int decimals;
        const char* written;
    };
    const Case cases[] = {{0, 2, "0"},         {-0.004, 2, "0"},         {12.5, 2, "12.5"},
                          {0.005, 2, "0.01"},  {-3.25, 2, "-3.25"},      {553.93, 2, "553.93"},
                          {7.875, 3, "7.875"}, {-4827.44, 1, "-4827.4"}, {1e6, 2, "1000000"},
                          {0.05, 2, "0.05"},   {2.999, 2, "3"},          {0.5882, 3, "0.588"}};
    for (const Case& c : cases) {
        std::string out = "x";
        clivara::pdf::appendNumber(out, c.value, c.decimals);
        EXPECT_EQ(out, std::string("x") + c.written) << c.value;
    }
}

}  // namespace
