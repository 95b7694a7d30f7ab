// The tool's PDF text: plain glyph runs and shaped text measure alike, wrapping and eliding
// keep within their width, and nothing is lost or read out of bounds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

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

}  // namespace
