#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdf/pdf_fonts.h"
#include "pdf/pdf_writer.h"

namespace clivara::pdf {

// Text on the pages of a PdfWriter in DejaVu Sans (fontconfig's fallback fonts for what it
// lacks), sizes in points, positions from the page's top-left corner. Plain text of the
// scripts that need no shaping (Latin, Greek, Cyrillic) is drawn as the font's own glyphs
// and advances, looked up once per character and font; anything else is shaped by HarfBuzz,
// each character in the first font that has it. Kerning and ligatures are off either way, so
// that both measure alike and the PDF's text reads back as typed.
class PdfText {
  public:
    explicit PdfText(PdfWriter& writer);
    ~PdfText();
    PdfText(const PdfText&) = delete;
    PdfText& operator=(const PdfText&) = delete;

    class Font;
    const Font& font(double size, bool bold);

    double ascent(const Font& font) const;
    double descent(const Font& font) const;
    double lineSpacing(const Font& font) const;
    // The width of a text of one line.
    double width(const Font& font, std::string_view text);
    // Draws a text of one line with its baseline's left end at (x, baseline).
    void draw(const Font& font, double x, double baseline, std::string_view text);
    // Closes the text drawn so far: before the page ends or a line is drawn.
    void flush();
    // The text broken into lines no wider than width: at its line breaks, at word boundaries,
    // and anywhere inside a word longer than the line; without the spaces that ended them.
    std::vector<std::string> wrap(const Font& font, std::string_view text, double width);
    // The text shortened in its middle (with "…") to fit width.
    std::string elided(const Font& font, std::string_view text, double width);

    // The fonts drawn with, for the writer to embed at the end.
    const FontCatalog& fonts() const { return fonts_; }

  private:
    struct Placed {
        FontFace* face;
        unsigned glyph;
        double x;               // points from the text's start
        double y;               // points above the baseline
        double advance;         // points, as the PDF's widths of the font give it
        std::size_t textStart;  // what it stands for: characters_ from textStart
        std::size_t textLength;
    };
    // The glyphs of a text that needs no shaping, and its width (runWidth_); with place
    // false only the width. False for any other text.
    bool plainGlyphs(const Font& font, std::string_view text, bool place);
    // The glyphs of any text, and its width.
    void shapedGlyphs(const Font& font, std::string_view text);
    void wrapParagraph(const Font& font, std::string_view paragraph, double width,
                       std::vector<std::string>& lines);

    PdfWriter& writer_;
    FontCatalog fonts_;
    std::map<std::pair<int, bool>, std::unique_ptr<Font>> sizes_;
    std::vector<Placed> placed_;
    double runWidth_ = 0;
    std::u32string characters_;
    void closeArray();

    bool inText_ = false;
    bool inArray_ = false;   // a TJ array is open
    bool inString_ = false;  // and a string in it
    double penX_ = 0;        // where the array's pen stands, in the page's coordinates
    double penY_ = 0;
    const FontFace* currentFace_ = nullptr;
    double currentSize_ = 0;
    struct Breaks;  // ICU's line and character boundaries, made at the first wrap
    std::unique_ptr<Breaks> breaks_;
};

}  // namespace clivara::pdf
