#pragma once

#include <hb.h>

#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace clivara::pdf {

// One font file's face as the PDF uses it: its glyphs and advances (in font units) looked up
// through HarfBuzz, the glyphs drawn so far with the text each stands for (for the PDF's
// ToUnicode map), and its number among the document's fonts.
class FontFace {
  public:
    FontFace(const std::string& file, unsigned index, int number);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    bool loaded() const { return units_ > 0; }
    int number() const { return number_; }
    hb_face_t* face() const { return face_; }
    hb_font_t* font() const { return font_; }
    double unitsPerEm() const { return units_; }
    // Ascent, descent and line spacing in ems.
    double ascent() const { return ascent_; }
    double descent() const { return descent_; }
    double lineGap() const { return lineGap_; }

    struct Glyph {
        unsigned index = 0;
        int advance = 0;        // font units
        signed char state = 0;  // 0 not looked up yet, 1 in this face, -1 not in it
    };
    // The nominal glyph of a character below kCachedEnd, looked up once.
    static constexpr char32_t kCachedEnd = 0x2100;
    const Glyph& cachedGlyph(char32_t c);
    bool hasCharacter(char32_t c);
    int advance(unsigned glyph) const;

    // Records that glyph was drawn for text (UTF-32): the first text recorded is kept, but
    // a glyph drawn for none so far (a mark of a cluster) takes the next.
    void markUsed(unsigned glyph, std::u32string_view text) {
        if (glyph >= mapped_.size() || !mapped_[glyph]) {
            recordUse(glyph, text);
        }
    }
    const std::map<unsigned, std::u32string>& usedGlyphs() const { return text_; }

  private:
    void recordUse(unsigned glyph, std::u32string_view text);

    hb_blob_t* blob_ = nullptr;
    hb_face_t* face_ = nullptr;
    hb_font_t* font_ = nullptr;
    int number_;
    double units_ = 0;
    double ascent_ = 0;
    double descent_ = 0;
    double lineGap_ = 0;
    std::vector<Glyph> glyphs_;
    std::vector<bool> mapped_;  // by glyph: used, with the text it stands for
    std::map<unsigned, std::u32string> text_;
};

// The document's fonts: DejaVu Sans in its two weights (as fontconfig resolves it) and, for a
// character neither has, the first of fontconfig's fallback fonts that draws it.
class FontCatalog {
  public:
    FontCatalog();
    ~FontCatalog();
    FontCatalog(const FontCatalog&) = delete;
    FontCatalog& operator=(const FontCatalog&) = delete;

    FontFace& primary(bool bold);
    // The face that draws c, looked up once per character and weight; null when none does.
    FontFace* fallback(char32_t c, bool bold);
    const std::vector<std::unique_ptr<FontFace>>& faces() const { return faces_; }

  private:
    FontFace& faceOf(const std::string& file, unsigned index);
    void* sorted(bool bold);

    std::vector<std::unique_ptr<FontFace>> faces_;
    std::map<std::pair<std::string, unsigned>, FontFace*> byFile_;
    FontFace* primary_[2] = {nullptr, nullptr};
    void* sorted_[2] = {nullptr, nullptr};  // FcFontSet*, made at the first fallback
    std::unordered_map<char32_t, FontFace*> fallbacks_[2];
};

}  // namespace clivara::pdf
