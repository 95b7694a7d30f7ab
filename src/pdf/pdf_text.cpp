#include "pdf/pdf_text.h"

#include <unicode/brkiter.h>
#include <unicode/ubidi.h>
#include <unicode/utext.h>

#include <algorithm>
#include <cmath>

namespace clivara::pdf {

namespace {

// The characters drawn without shaping: Latin, Greek and Cyrillic letters with their
// precomposed accents, and the common punctuation and currency signs. Combining marks,
// invisible format characters and other scripts are shaped.
bool plainCharacter(char32_t c) {
    return (c >= 0x20 && c < 0x7F) || (c >= 0xA0 && c < 0x0300) || (c >= 0x0370 && c < 0x0483) ||
           (c >= 0x048A && c < 0x0530) || (c >= 0x1E00 && c < 0x2000) ||
           (c >= 0x2010 && c < 0x2028) || (c >= 0x2030 && c < 0x205F) ||
           (c >= 0x20A0 && c < 0x20D0);
}

// The next character of UTF-8 text at i (moved past it); false at a byte that does not start
// a well-formed character (i then moves past that byte alone).
bool nextCharacter(std::string_view text, std::size_t& i, char32_t& c) {
    const auto byte = static_cast<unsigned char>(text[i]);
    int more = 0;
    char32_t least = 0;
    if (byte < 0x80) {
        c = byte;
    } else if ((byte & 0xE0) == 0xC0) {
        c = byte & 0x1F;
        more = 1;
        least = 0x80;
    } else if ((byte & 0xF0) == 0xE0) {
        c = byte & 0x0F;
        more = 2;
        least = 0x800;
    } else if ((byte & 0xF8) == 0xF0) {
        c = byte & 0x07;
        more = 3;
        least = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (i + static_cast<std::size_t>(more) >= text.size() + (more == 0 ? 1 : 0)) {
        ++i;
        return false;
    }
    std::size_t at = i + 1;
    for (int k = 0; k < more; ++k, ++at) {
        const auto next = static_cast<unsigned char>(text[at]);
        if ((next & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) {
        ++i;
        return false;
    }
    i = at;
    return true;
}

// The text's characters, U+FFFD for each byte that starts none.
void decode(std::string_view text, std::u32string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        out += nextCharacter(text, i, c) ? c : U'\uFFFD';
    }
}

// The text made well-formed UTF-8, as decode reads it.
std::string valid(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t start = i;
        char32_t c = 0;
        if (nextCharacter(text, i, c)) {
            out.append(text.substr(start, i - start));
        } else {
            out += "\uFFFD";
        }
    }
    return out;
}

std::string_view trimmedEnd(std::string_view line) {
    while (!line.empty() && line.back() == ' ') {
        line.remove_suffix(1);
    }
    return line;
}

const hb_feature_t* unshapedFeatures() {
    static const hb_feature_t features[] = {
        {HB_TAG('k', 'e', 'r', 'n'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
        {HB_TAG('l', 'i', 'g', 'a'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END},
        {HB_TAG('c', 'l', 'i', 'g'), 0, HB_FEATURE_GLOBAL_START, HB_FEATURE_GLOBAL_END}};
    return features;
}

}  // namespace

class PdfText::Font {
  public:
    Font(FontFace& primary, double points, bool heavy) : face(primary), size(points), bold(heavy) {}
    FontFace& face;
    double size;
    bool bold;
};

struct PdfText::Breaks {
    std::unique_ptr<icu::BreakIterator> lines;
    std::unique_ptr<icu::BreakIterator> characters;
    UText* text = nullptr;
    ~Breaks() { utext_close(text); }
};

PdfText::PdfText(PdfWriter& writer) : writer_(writer) {}

PdfText::~PdfText() = default;

const PdfText::Font& PdfText::font(double size, bool bold) {
    const auto key = std::make_pair(static_cast<int>(std::lround(size * 64)), bold);
    auto found = sizes_.find(key);
    if (found == sizes_.end()) {
        found = sizes_.emplace(key, std::make_unique<Font>(fonts_.primary(bold), size, bold)).first;
    }
    return *found->second;
}

double PdfText::ascent(const Font& font) const {
    return font.face.ascent() * font.size;
}

double PdfText::descent(const Font& font) const {
    return font.face.descent() * font.size;
}

double PdfText::lineSpacing(const Font& font) const {
    return (font.face.ascent() + font.face.descent() + font.face.lineGap()) * font.size;
}

bool PdfText::plainGlyphs(const Font& font, std::string_view text, bool place) {
    placed_.clear();
    characters_.clear();
    const double scale = font.size / font.face.unitsPerEm();
    int pen = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = 0;
        if (!nextCharacter(text, i, c) || !plainCharacter(c)) {
            return false;
        }
        const FontFace::Glyph& glyph = font.face.cachedGlyph(c);
        if (glyph.state < 0) {
            return false;
        }
        if (place) {
            placed_.push_back({&font.face, glyph.index, pen * scale, 0, glyph.advance * scale,
                               characters_.size(), 1});
            characters_ += c;
        }
        pen += glyph.advance;
    }
    runWidth_ = pen * scale;
    return true;
}

void PdfText::shapedGlyphs(const Font& font, std::string_view text) {
    placed_.clear();
    runWidth_ = 0;
    decode(text, characters_);
    // Each character's face: the font's own, the face of the letter a mark goes with, or the
    // first fallback that has it; control characters are dropped.
    std::vector<FontFace*> faces(characters_.size(), nullptr);
    for (std::size_t i = 0; i < characters_.size(); ++i) {
        const char32_t c = characters_[i];
        if (c < 0x20 || c == 0x7F) {
            continue;
        }
        const hb_unicode_general_category_t category =
            hb_unicode_general_category(hb_unicode_funcs_get_default(), c);
        const bool mark = category == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
                          category == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
        if (mark && i > 0 && faces[i - 1] != nullptr && faces[i - 1]->hasCharacter(c)) {
            faces[i] = faces[i - 1];
        } else if (font.face.hasCharacter(c)) {
            faces[i] = &font.face;
        } else {
            faces[i] = fonts_.fallback(c, font.bold);
            if (faces[i] == nullptr) {
                faces[i] = &font.face;  // drawn as the font's missing glyph
            }
        }
    }
    // The characters in the order they stand on the line (right-to-left runs reversed, by
    // ICU's bidirectional algorithm), each run of one face shaped in its direction.
    struct Run {
        std::size_t start;
        std::size_t end;
        bool rightToLeft;
    };
    std::vector<Run> runs;
    std::u16string utf16;
    std::vector<std::size_t> characterOf;  // by UTF-16 unit
    for (std::size_t i = 0; i < characters_.size(); ++i) {
        const char32_t c = characters_[i];
        if (c >= 0x10000) {
            utf16 += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            utf16 += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            characterOf.push_back(i);
        } else {
            utf16 += static_cast<char16_t>(c);
        }
        characterOf.push_back(i);
    }
    UErrorCode status = U_ZERO_ERROR;
    UBiDi* bidi = ubidi_open();
    ubidi_setPara(bidi, utf16.data(), static_cast<int32_t>(utf16.size()), UBIDI_DEFAULT_LTR,
                  nullptr, &status);
    const int32_t visualRuns = U_SUCCESS(status) ? ubidi_countRuns(bidi, &status) : 0;
    for (int32_t r = 0; U_SUCCESS(status) && r < visualRuns; ++r) {
        int32_t start = 0;
        int32_t length = 0;
        const UBiDiDirection direction = ubidi_getVisualRun(bidi, r, &start, &length);
        if (length <= 0) {
            continue;
        }
        const std::size_t first = characterOf[static_cast<std::size_t>(start)];
        const std::size_t end = characterOf[static_cast<std::size_t>(start + length - 1)] + 1;
        // The run's pieces of one face, in the run's visual order.
        std::vector<Run> pieces;
        for (std::size_t at = first; at < end;) {
            std::size_t until = at + 1;
            while (until < end && faces[until] == faces[at]) {
                ++until;
            }
            if (faces[at] != nullptr) {
                pieces.push_back({at, until, direction == UBIDI_RTL});
            }
            at = until;
        }
        if (direction == UBIDI_RTL) {
            std::reverse(pieces.begin(), pieces.end());
        }
        runs.insert(runs.end(), pieces.begin(), pieces.end());
    }
    ubidi_close(bidi);
    if (U_FAILURE(status)) {
        runs.clear();
        for (std::size_t at = 0; at < characters_.size();) {
            std::size_t until = at + 1;
            while (until < characters_.size() && faces[until] == faces[at]) {
                ++until;
            }
            if (faces[at] != nullptr) {
                runs.push_back({at, until, false});
            }
            at = until;
        }
    }

    hb_buffer_t* buffer = hb_buffer_create();
    for (const Run& run : runs) {
        FontFace* face = faces[run.start];
        const std::size_t end = run.end;
        hb_buffer_clear_contents(buffer);
        hb_buffer_add_utf32(buffer, reinterpret_cast<const uint32_t*>(characters_.data()),
                            static_cast<int>(characters_.size()), static_cast<unsigned>(run.start),
                            static_cast<int>(end - run.start));
        hb_buffer_set_direction(buffer, run.rightToLeft ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        hb_buffer_guess_segment_properties(buffer);
        hb_shape(face->font(), buffer, unshapedFeatures(), 3);
        unsigned count = 0;
        const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
        const double scale = font.size / face->unitsPerEm();
        for (unsigned g = 0; g < count; ++g) {
            // The characters of the glyph's cluster: those up to the next cluster's start.
            const unsigned cluster = infos[g].cluster;
            std::size_t next = end;
            std::size_t sameCluster = 0;
            for (unsigned k = 0; k < count; ++k) {
                if (infos[k].cluster > cluster) {
                    next = std::min<std::size_t>(next, infos[k].cluster);
                }
                if (infos[k].cluster == cluster && k < g) {
                    ++sameCluster;
                }
            }
            std::size_t standsStart = cluster;
            std::size_t standsLength = next - cluster;
            // A cluster of as many glyphs as characters maps them one to one; otherwise its
            // first glyph stands for all of it.
            std::size_t glyphsOfCluster = 0;
            for (unsigned k = 0; k < count; ++k) {
                glyphsOfCluster += infos[k].cluster == cluster ? 1 : 0;
            }
            if (glyphsOfCluster == standsLength) {
                standsStart += sameCluster;
                standsLength = 1;
            } else if (sameCluster > 0) {
                standsLength = 0;
            }
            if (infos[g].codepoint == 0) {
                standsLength = 0;  // a missing glyph reads back as nothing
            }
            placed_.push_back({face, infos[g].codepoint, runWidth_ + positions[g].x_offset * scale,
                               positions[g].y_offset * scale,
                               face->advance(infos[g].codepoint) * scale, standsStart,
                               standsLength});
            runWidth_ += positions[g].x_advance * scale;
        }
    }
    hb_buffer_destroy(buffer);
}

double PdfText::width(const Font& font, std::string_view text) {
    if (!plainGlyphs(font, text, false)) {
        shapedGlyphs(font, text);
    }
    return runWidth_;
}

void PdfText::draw(const Font& font, double x, double baseline, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (!plainGlyphs(font, text, true)) {
        shapedGlyphs(font, text);
    }
    std::string& out = writer_.content();
    if (!inText_) {
        out += "BT\n";
        inText_ = true;
        currentFace_ = nullptr;
        inArray_ = false;
    }
    // The glyphs go in strings of one text array for as long as they stay on one baseline,
    // left to right in one font: where one does not stand where the one before it left the
    // pen (its advance in the font's widths), a number moves the pen on. Anything else
    // starts a new array at its own position.
    for (const Placed& glyph : placed_) {
        const double gx = x + glyph.x;
        const double gy = writer_.height() - baseline + glyph.y;
        if (glyph.face != currentFace_ || font.size != currentSize_) {
            closeArray();
            out += "/F";
            out += std::to_string(glyph.face->number());
            out += ' ';
            appendNumber(out, font.size, 3);
            out += " Tf\n";
            currentFace_ = glyph.face;
            currentSize_ = font.size;
        }
        const double gap = gx - penX_;
        if (!inArray_ || std::abs(gy - penY_) > 0.005 || gap < -0.005) {
            closeArray();
            out += "1 0 0 1 ";
            appendNumber(out, gx);
            out += ' ';
            appendNumber(out, gy);
            out += " Tm [(";
            inArray_ = true;
            inString_ = true;
            penX_ = gx;
            penY_ = gy;
        } else if (gap > 0.005) {
            out += inString_ ? ") " : " ";
            appendNumber(out, -gap * 1000 / font.size, 1);
            out += " (";
            inString_ = true;
            penX_ = gx;
        }
        // The glyph index as two bytes of a literal string, escaped where the string's
        // syntax would read them otherwise.
        const unsigned g = glyph.glyph;
        for (const unsigned byte : {(g >> 8) & 0xFF, g & 0xFF}) {
            switch (byte) {
                case '(':
                    out += "\\(";
                    break;
                case ')':
                    out += "\\)";
                    break;
                case '\\':
                    out += "\\\\";
                    break;
                case '\r':
                    out += "\\r";
                    break;
                case '\n':
                    out += "\\n";
                    break;
                default:
                    out += static_cast<char>(byte);
            }
        }
        penX_ += glyph.advance;
        glyph.face->markUsed(
            g, std::u32string_view(characters_).substr(glyph.textStart, glyph.textLength));
    }
}

void PdfText::closeArray() {
    if (inArray_) {
        writer_.content() += inString_ ? ")] TJ\n" : "] TJ\n";
        inArray_ = false;
        inString_ = false;
    }
}

void PdfText::flush() {
    if (inText_) {
        closeArray();
        writer_.content() += "ET\n";
        inText_ = false;
    }
}

void PdfText::wrapParagraph(const Font& font, std::string_view paragraph, double width,
                            std::vector<std::string>& lines) {
    if (paragraph.empty()) {
        lines.emplace_back();
        return;
    }
    if (!breaks_) {
        breaks_ = std::make_unique<Breaks>();
        UErrorCode status = U_ZERO_ERROR;
        breaks_->lines.reset(icu::BreakIterator::createLineInstance(icu::Locale("it"), status));
        status = U_ZERO_ERROR;
        breaks_->characters.reset(
            icu::BreakIterator::createCharacterInstance(icu::Locale("it"), status));
    }
    UErrorCode status = U_ZERO_ERROR;
    breaks_->text = utext_openUTF8(breaks_->text, paragraph.data(),
                                   static_cast<int64_t>(paragraph.size()), &status);
    if (U_FAILURE(status) || !breaks_->lines || !breaks_->characters) {
        lines.emplace_back(paragraph);
        return;
    }
    status = U_ZERO_ERROR;
    breaks_->lines->setText(breaks_->text, status);
    breaks_->characters->setText(breaks_->text, status);
    const auto size = static_cast<int32_t>(paragraph.size());
    for (int32_t start = 0; start < size;) {
        // The furthest break whose line (without its ending spaces) fits.
        int32_t end = -1;
        for (int32_t at = breaks_->lines->following(start);
             at != icu::BreakIterator::DONE && at <= size; at = breaks_->lines->next()) {
            const std::string_view line = trimmedEnd(paragraph.substr(
                static_cast<std::size_t>(start), static_cast<std::size_t>(at - start)));
            if (this->width(font, line) > width) {
                break;
            }
            end = at;
        }
        if (end < 0) {
            // A word longer than the line: as many of its characters as fit, at least one.
            end = breaks_->characters->following(start);
            for (int32_t at = breaks_->characters->next();
                 at != icu::BreakIterator::DONE && at <= size; at = breaks_->characters->next()) {
                if (this->width(font, paragraph.substr(static_cast<std::size_t>(start),
                                                       static_cast<std::size_t>(at - start))) >
                    width) {
                    break;
                }
                end = at;
            }
        }
        lines.emplace_back(trimmedEnd(paragraph.substr(static_cast<std::size_t>(start),
                                                       static_cast<std::size_t>(end - start))));
        start = end;
    }
}

std::vector<std::string> PdfText::wrap(const Font& font, std::string_view text, double width) {
    const std::string whole = valid(text);
    std::vector<std::string> lines;
    const std::string_view all(whole);
    for (std::size_t begin = 0; begin <= all.size();) {
        std::size_t end = all.find_first_of("\r\n", begin);
        if (end == std::string_view::npos) {
            end = all.size();
        }
        wrapParagraph(font, all.substr(begin, end - begin), std::max(width, 1.0), lines);
        if (end + 1 < all.size() && all[end] == '\r' && all[end + 1] == '\n') {
            ++end;
        }
        begin = end + 1;
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
        nextCharacter(text, i, c);
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
