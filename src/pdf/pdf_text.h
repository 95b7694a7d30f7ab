#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace clivara::pdf {

// Text on a cairo context in DejaVu Sans (Pango's fallback fonts for what it lacks), sizes
// in points. Plain text of the scripts that need no shaping (Latin, Greek, Cyrillic) is drawn
// as one run of glyphs looked up once per character and font; anything else goes through
// Pango. Kerning and ligatures are off either way, so that both measure alike and the PDF's
// text reads back as typed.
class PdfText {
  public:
    explicit PdfText(cairo_t* cr);
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
    // Draws a text of one line with its baseline's left end at (x, baseline). The glyph runs
    // of one font are gathered and drawn together, at the latest by flush.
    void draw(const Font& font, double x, double baseline, std::string_view text);
    // Draws what draw has gathered: before the page ends or anything else is drawn.
    void flush();
    // The text broken into lines no wider than width: at its line breaks, at word boundaries,
    // and anywhere inside a word longer than the line; without the spaces that ended them.
    std::vector<std::string> wrap(const Font& font, std::string_view text, double width);
    // The text shortened in its middle (with "…") to fit width.
    std::string elided(const Font& font, std::string_view text, double width);

  private:
    bool glyphsFor(const Font& font, std::string_view text);
    PangoLayout* layoutFor(const Font& font, std::string_view text, double wrapWidth);

    cairo_t* cr_;
    PangoContext* context_ = nullptr;
    PangoLayout* layout_ = nullptr;
    PangoAttrList* attributes_ = nullptr;
    std::map<std::pair<int, bool>, std::unique_ptr<Font>> fonts_;
    std::vector<cairo_glyph_t> glyphs_;
    double runWidth_ = 0;
    std::vector<cairo_glyph_t> pending_;  // gathered by draw, in pendingFont_
    const Font* pendingFont_ = nullptr;
    const Font* current_ = nullptr;  // the font set on the context, null after Pango drew
};

}  // namespace clivara::pdf
