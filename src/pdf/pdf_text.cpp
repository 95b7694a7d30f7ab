#include "pdf/pdf_text.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

namespace clivara::pdf {

namespace {

// The characters drawn without shaping: Latin, Greek and Cyrillic letters with their
// precomposed accents, and the common punctuation and currency signs. Combining marks,
// invisible format characters and other scripts go through Pango.
constexpr char32_t kPlainEnd = 0x20D0;

bool plainCharacter(char32_t c) {
    return c < 0x0300 || (c >= 0x0370 && c < 0x0483) || (c >= 0x048A && c < 0x0530) ||
           (c >= 0x1E00 && c < 0x2000) || (c >= 0x2010 && c < 0x2028) ||
           (c >= 0x2030 && c < 0x205F) || (c >= 0x20A0 && c < kPlainEnd);
}

// The next character of UTF-8 text at i (moved past it); false at a byte that does not start
// a well-formed character.
bool nextCharacter(std::string_view text, std::size_t& i, char32_t& c) {
    const auto byte = static_cast<unsigned char>(text[i]);
    int more = 0;
    if (byte < 0x80) {
        c = byte;
    } else if ((byte & 0xE0) == 0xC0) {
        c = byte & 0x1F;
        more = 1;
    } else if ((byte & 0xF0) == 0xE0) {
        c = byte & 0x0F;
        more = 2;
    } else if ((byte & 0xF8) == 0xF0) {
        c = byte & 0x07;
        more = 3;
    } else {
        return false;
    }
    if (i + static_cast<std::size_t>(more) >= text.size()) {
        return false;
    }
    ++i;
    for (int k = 0; k < more; ++k, ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80) {
            return false;
        }
        c = (c << 6) | (next & 0x3F);
    }
    return true;
}

}  // namespace

class PdfText::Font {
  public:
    Font(PangoContext* context, double size, bool bold)
        : description(pango_font_description_new()) {
        pango_font_description_set_family(description, "DejaVu Sans");
        pango_font_description_set_weight(description,
                                          bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_size(description,
                                        static_cast<int>(std::lround(size * PANGO_SCALE)));
        PangoFont* loaded =
            pango_font_map_load_font(pango_context_get_font_map(context), context, description);
        if (loaded != nullptr) {
            scaled = cairo_scaled_font_reference(
                pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(loaded)));
            g_object_unref(loaded);
        }
        if (scaled != nullptr) {
            cairo_scaled_font_extents(scaled, &extents);
        }
    }
    ~Font() {
        cairo_scaled_font_destroy(scaled);
        pango_font_description_free(description);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    struct Glyph {
        unsigned long index = 0;
        double advance = 0;
        signed char state = 0;  // 0 not looked up yet, 1 drawn by this font, -1 not in it
    };

    // The glyph of a plain character (see plainCharacter), looked up once.
    const Glyph& glyph(char32_t c) {
        if (glyphs.empty()) {
            glyphs.resize(kPlainEnd);
        }
        Glyph& found = glyphs[c];
        if (found.state == 0) {
            found.state = -1;
            char utf8[4];
            int length = 0;
            if (c < 0x80) {
                utf8[length++] = static_cast<char>(c);
            } else if (c < 0x800) {
                utf8[length++] = static_cast<char>(0xC0 | (c >> 6));
                utf8[length++] = static_cast<char>(0x80 | (c & 0x3F));
            } else {
                utf8[length++] = static_cast<char>(0xE0 | (c >> 12));
                utf8[length++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
                utf8[length++] = static_cast<char>(0x80 | (c & 0x3F));
            }
            cairo_glyph_t* looked = nullptr;
            int count = 0;
            if (scaled != nullptr &&
                cairo_scaled_font_text_to_glyphs(scaled, 0, 0, utf8, length, &looked, &count,
                                                 nullptr, nullptr,
                                                 nullptr) == CAIRO_STATUS_SUCCESS &&
                count == 1 && looked[0].index != 0) {
                cairo_text_extents_t measured;
                cairo_scaled_font_glyph_extents(scaled, looked, 1, &measured);
                found = {looked[0].index, measured.x_advance, 1};
            }
            cairo_glyph_free(looked);
        }
        return found;
    }

    PangoFontDescription* description;
    cairo_scaled_font_t* scaled = nullptr;
    cairo_font_extents_t extents{};
    std::vector<Glyph> glyphs;
};

PdfText::PdfText(cairo_t* cr) : cr_(cr) {
    context_ = pango_cairo_create_context(cr_);
    pango_cairo_context_set_resolution(context_, 72);
    // Positions as the font gives them, not rounded to whole points, as the glyph runs have.
    pango_context_set_round_glyph_positions(context_, FALSE);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    pango_cairo_context_set_font_options(context_, options);
    cairo_font_options_destroy(options);
    layout_ = pango_layout_new(context_);
    attributes_ = pango_attr_list_new();
    pango_attr_list_insert(attributes_, pango_attr_font_features_new("-kern,-liga,-clig"));
    pango_layout_set_attributes(layout_, attributes_);
    pango_layout_set_wrap(layout_, PANGO_WRAP_WORD_CHAR);
}

PdfText::~PdfText() {
    fonts_.clear();
    pango_attr_list_unref(attributes_);
    g_object_unref(layout_);
    g_object_unref(context_);
}

const PdfText::Font& PdfText::font(double size, bool bold) {
    const auto key = std::make_pair(static_cast<int>(std::lround(size * 64)), bold);
    auto found = fonts_.find(key);
    if (found == fonts_.end()) {
        found = fonts_.emplace(key, std::make_unique<Font>(context_, size, bold)).first;
    }
    return *found->second;
}

double PdfText::ascent(const Font& font) const {
    return font.extents.ascent;
}

double PdfText::descent(const Font& font) const {
    return font.extents.descent;
}

double PdfText::lineSpacing(const Font& font) const {
    return font.extents.height;
}

bool PdfText::glyphsFor(const Font& constFont, std::string_view text) {
    Font& font = const_cast<Font&>(constFont);
    glyphs_.clear();
    runWidth_ = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        if (!nextCharacter(text, i, c) || !plainCharacter(c)) {
            return false;
        }
        const Font::Glyph& glyph = font.glyph(c);
        if (glyph.state < 0) {
            return false;
        }
        glyphs_.push_back({glyph.index, runWidth_, 0});
        runWidth_ += glyph.advance;
    }
    return true;
}

PangoLayout* PdfText::layoutFor(const Font& font, std::string_view text, double wrapWidth) {
    pango_layout_set_font_description(layout_, font.description);
    pango_layout_set_width(
        layout_, wrapWidth > 0 ? static_cast<int>(std::floor(wrapWidth * PANGO_SCALE)) : -1);
    const auto length = static_cast<gssize>(text.size());
    if (g_utf8_validate(text.data(), length, nullptr)) {
        pango_layout_set_text(layout_, text.data(), static_cast<int>(length));
    } else {
        // Pango takes only well-formed text (and would put the PDF in error): a byte that
        // starts no character becomes U+FFFD.
        gchar* valid = g_utf8_make_valid(text.data(), length);
        pango_layout_set_text(layout_, valid, -1);
        g_free(valid);
    }
    return layout_;
}

double PdfText::width(const Font& font, std::string_view text) {
    if (glyphsFor(font, text)) {
        return runWidth_;
    }
    PangoRectangle logical;
    pango_layout_get_extents(layoutFor(font, text, 0), nullptr, &logical);
    return static_cast<double>(logical.width) / PANGO_SCALE;
}

void PdfText::draw(const Font& font, double x, double baseline, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (glyphsFor(font, text)) {
        if (pendingFont_ != &font) {
            flush();
            pendingFont_ = &font;
        }
        for (const cairo_glyph_t& glyph : glyphs_) {
            pending_.push_back({glyph.index, glyph.x + x, baseline});
        }
        return;
    }
    flush();
    PangoLayout* layout = layoutFor(font, text, 0);
    cairo_move_to(cr_, x, baseline);
    pango_cairo_show_layout_line(cr_, pango_layout_get_line_readonly(layout, 0));
    current_ = nullptr;
}

void PdfText::flush() {
    if (pending_.empty()) {
        return;
    }
    if (current_ != pendingFont_) {
        cairo_set_scaled_font(cr_, pendingFont_->scaled);
        current_ = pendingFont_;
    }
    cairo_show_glyphs(cr_, pending_.data(), static_cast<int>(pending_.size()));
    pending_.clear();
}

std::vector<std::string> PdfText::wrap(const Font& font, std::string_view text, double width) {
    PangoLayout* layout = layoutFor(font, text, std::max(width, 1.0));
    std::vector<std::string> lines;
    const int count = pango_layout_get_line_count(layout);
    const char* start = pango_layout_get_text(layout);
    for (int i = 0; i < count; ++i) {
        const PangoLayoutLine* line = pango_layout_get_line_readonly(layout, i);
        std::string_view piece(start + line->start_index, static_cast<std::size_t>(line->length));
        while (!piece.empty() &&
               (piece.back() == ' ' || piece.back() == '\n' || piece.back() == '\r')) {
            piece.remove_suffix(1);
        }
        lines.emplace_back(piece);
    }
    if (lines.empty()) {
        lines.emplace_back();
    }
    return lines;
}

std::string PdfText::elided(const Font& font, std::string_view text, double width) {
    if (this->width(font, text) <= width) {
        return std::string(text);
    }
    std::vector<std::size_t> starts;  // where each character starts
    for (std::size_t i = 0; i < text.size();) {
        starts.push_back(i);
        char32_t c = 0;
        if (!nextCharacter(text, i, c)) {
            ++i;
        }
    }
    const std::size_t count = starts.size();
    std::string shortened;
    for (std::size_t kept = count; kept-- > 0;) {
        const std::size_t head = (kept + 1) / 2;
        const std::size_t tail = kept - head;
        shortened = std::string(text.substr(0, head < count ? starts[head] : text.size())) +
                    "\u2026" + (tail > 0 ? std::string(text.substr(starts[count - tail])) : "");
        if (this->width(font, shortened) <= width) {
            break;
        }
    }
    return shortened;
}

}  // namespace clivara::pdf
