#include "pdf/pdf_fonts.h"

#include <fontconfig/fontconfig.h>
#include <hb-ot.h>

namespace clivara::pdf {

FontFace::FontFace(const std::string& file, unsigned index, int number) : number_(number) {
    blob_ = hb_blob_create_from_file_or_fail(file.c_str());
    if (blob_ == nullptr) {
        return;
    }
    face_ = hb_face_create(blob_, index);
    font_ = hb_font_create(face_);
    const unsigned units = hb_face_get_upem(face_);
    if (hb_face_get_glyph_count(face_) == 0 || units == 0) {
        return;
    }
    hb_font_set_scale(font_, static_cast<int>(units), static_cast<int>(units));
    units_ = units;
    hb_font_extents_t extents{};
    hb_font_get_h_extents(font_, &extents);
    ascent_ = extents.ascender / units_;
    descent_ = -extents.descender / units_;
    lineGap_ = extents.line_gap / units_;
    mapped_.resize(hb_face_get_glyph_count(face_));
}

FontFace::~FontFace() {
    hb_font_destroy(font_);
    hb_face_destroy(face_);
    hb_blob_destroy(blob_);
}

const FontFace::Glyph& FontFace::cachedGlyph(char32_t c) {
    if (glyphs_.empty()) {
        glyphs_.resize(kCachedEnd);
    }
    Glyph& found = glyphs_[c];
    if (found.state == 0) {
        found.state = -1;
        hb_codepoint_t glyph = 0;
        if (loaded() && hb_font_get_nominal_glyph(font_, c, &glyph) && glyph != 0) {
            found = {glyph, advance(glyph), 1};
        }
    }
    return found;
}

bool FontFace::hasCharacter(char32_t c) {
    if (c < kCachedEnd) {
        return cachedGlyph(c).state > 0;
    }
    hb_codepoint_t glyph = 0;
    return loaded() && hb_font_get_nominal_glyph(font_, c, &glyph) && glyph != 0;
}

int FontFace::advance(unsigned glyph) const {
    return hb_font_get_glyph_h_advance(font_, glyph);
}

void FontFace::recordUse(unsigned glyph, std::u32string_view text) {
    if (glyph >= mapped_.size()) {
        return;
    }
    std::u32string& known = text_[glyph];
    if (known.empty() && !text.empty()) {
        known = text;
        mapped_[glyph] = true;
    }
}

FontCatalog::FontCatalog() = default;

FontCatalog::~FontCatalog() {
    for (void*& set : sorted_) {
        if (set != nullptr) {
            FcFontSetDestroy(static_cast<FcFontSet*>(set));
        }
    }
}

namespace {

FcPattern* dejaVuPattern(bool bold) {
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans"));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    return pattern;
}

bool fileOf(FcPattern* font, std::string& file, unsigned& index) {
    FcChar8* name = nullptr;
    int at = 0;
    if (FcPatternGetString(font, FC_FILE, 0, &name) != FcResultMatch) {
        return false;
    }
    if (FcPatternGetInteger(font, FC_INDEX, 0, &at) != FcResultMatch) {
        at = 0;
    }
    file = reinterpret_cast<const char*>(name);
    index = static_cast<unsigned>(at);
    return true;
}

}  // namespace

FontFace& FontCatalog::faceOf(const std::string& file, unsigned index) {
    FontFace*& known = byFile_[{file, index}];
    if (known == nullptr) {
        faces_.push_back(std::make_unique<FontFace>(file, index, static_cast<int>(faces_.size())));
        known = faces_.back().get();
    }
    return *known;
}

FontFace& FontCatalog::primary(bool bold) {
    FontFace*& face = primary_[bold ? 1 : 0];
    if (face == nullptr) {
        FcPattern* pattern = dejaVuPattern(bold);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(nullptr, pattern, &result);
        std::string file;
        unsigned index = 0;
        if (match == nullptr || !fileOf(match, file, index)) {
            file.clear();  // no font at all: a face that draws nothing
        }
        face = &faceOf(file, index);
        if (match != nullptr) {
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    return *face;
}

void* FontCatalog::sorted(bool bold) {
    void*& set = sorted_[bold ? 1 : 0];
    if (set == nullptr) {
        FcPattern* pattern = dejaVuPattern(bold);
        FcResult result = FcResultNoMatch;
        set = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
        FcPatternDestroy(pattern);
    }
    return set;
}

FontFace* FontCatalog::fallback(char32_t c, bool bold) {
    auto& known = fallbacks_[bold ? 1 : 0];
    const auto found = known.find(c);
    if (found != known.end()) {
        return found->second;
    }
    FontFace* face = nullptr;
    auto* set = static_cast<FcFontSet*>(sorted(bold));
    for (int i = 0; set != nullptr && i < set->nfont && face == nullptr; ++i) {
        FcCharSet* characters = nullptr;
        if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &characters) != FcResultMatch ||
            !FcCharSetHasChar(characters, c)) {
            continue;
        }
        std::string file;
        unsigned index = 0;
        if (fileOf(set->fonts[i], file, index)) {
            FontFace& candidate = faceOf(file, index);
            if (candidate.hasCharacter(c)) {
                face = &candidate;
            }
        }
    }
    known.emplace(c, face);
    return face;
}

}  // namespace clivara::pdf
