#include "pdf/pdf_writer.h"

#include <hb-ot.h>
#include <hb-subset.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>

#include "pdf/pdf_fonts.h"

namespace clivara::pdf {

namespace {

// The objects every document has; pages and fonts come after them.
constexpr int kCatalog = 1;
constexpr int kPageTree = 2;
constexpr int kResources = 3;
constexpr int kInfo = 4;
constexpr int kFirstFree = 5;

// zlib's fastest level: the page contents of the list of 30,000 customers shrink from 11.7 MB
// to 3.5 MB; the Huffman-only and RLE strategies take as long for 6.9 MB, the default level
// twice as long for 3.0 MB.
constexpr int kCompressionLevel = 1;

void appendInteger(std::string& out, long long value) {
    char digits[24];
    int length = 0;
    unsigned long long magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                             : static_cast<unsigned long long>(value);
    do {
        digits[length++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) {
        out += '-';
    }
    while (length > 0) {
        out += digits[--length];
    }
}

void appendHex4(std::string& out, unsigned value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += kHex[(value >> 12) & 0xF];
    out += kHex[(value >> 8) & 0xF];
    out += kHex[(value >> 4) & 0xF];
    out += kHex[value & 0xF];
}

// A font's PostScript name, as PDF names may hold it.
std::string postScriptName(hb_face_t* face) {
    char name[128] = {};
    unsigned length = sizeof name;
    hb_ot_name_get_utf8(face, HB_OT_NAME_ID_POSTSCRIPT_NAME, HB_LANGUAGE_INVALID, &length, name);
    std::string out;
    for (const char* c = name; *c != '\0'; ++c) {
        if ((*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') ||
            *c == '-') {
            out += *c;
        }
    }
    return out.empty() ? "Font" : out;
}

int readInt16(const char* data, unsigned at) {
    return static_cast<std::int16_t>((static_cast<unsigned char>(data[at]) << 8) |
                                     static_cast<unsigned char>(data[at + 1]));
}

void appendUtf16(std::string& out, char32_t c) {
    if (c >= 0x10000 && c <= 0x10FFFF) {
        const char32_t v = c - 0x10000;
        appendHex4(out, static_cast<unsigned>(0xD800 + (v >> 10)));
        appendHex4(out, static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
    } else {
        appendHex4(out, static_cast<unsigned>(c > 0x10FFFF ? 0xFFFD : c));
    }
}

}  // namespace

void appendNumber(std::string& out, double value, int decimals) {
    static constexpr long long kScales[] = {1, 10, 100, 1000, 10000};
    decimals = std::clamp(decimals, 0, 4);
    const long long scale = kScales[decimals];
    long long scaled = std::llround(value * static_cast<double>(scale));
    if (scaled < 0) {
        out += '-';
        scaled = -scaled;
    }
    appendInteger(out, scaled / scale);
    long long fraction = scaled % scale;
    if (fraction == 0) {
        return;
    }
    int places = decimals;
    while (fraction % 10 == 0) {
        fraction /= 10;
        --places;
    }
    out += '.';
    const std::size_t at = out.size();
    for (int i = 0; i < places; ++i) {
        out += '0';
    }
    for (std::size_t i = out.size(); i > at && fraction != 0; fraction /= 10) {
        out[--i] = static_cast<char>('0' + fraction % 10);
    }
}

PdfWriter::PdfWriter(std::FILE* out, double width, double height)
    : out_(out), width_(width), height_(height), objects_(kFirstFree, 0) {
    write("%PDF-1.6\n%\xE2\xE3\xCF\xD3\n");
}

void PdfWriter::write(std::string_view data) {
    if (!failed_ && std::fwrite(data.data(), 1, data.size(), out_) != data.size()) {
        failed_ = true;
    }
    offset_ += data.size();
}

int PdfWriter::reserveObject() {
    objects_.push_back(0);
    return static_cast<int>(objects_.size() - 1);
}

void PdfWriter::beginObject(int number) {
    objects_[static_cast<std::size_t>(number)] = offset_;
    std::string head;
    appendInteger(head, number);
    head += " 0 obj\n";
    write(head);
}

void PdfWriter::writeStream(int number, std::string_view dictionary, std::string_view data) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    compressed_.resize(length);
    const bool packed =
        compress2(compressed_.data(), &length, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), kCompressionLevel) == Z_OK;
    beginObject(number);
    std::string head = "<<";
    head += dictionary;
    head += packed ? " /Filter /FlateDecode /Length " : " /Length ";
    appendInteger(head, static_cast<long long>(packed ? length : data.size()));
    head += " >>\nstream\n";
    write(head);
    write(packed ? std::string_view(reinterpret_cast<const char*>(compressed_.data()), length)
                 : data);
    write("\nendstream\nendobj\n");
}

void PdfWriter::line(double x1, double y1, double x2, double y2, double lineWidth, double grey) {
    std::string& out = content_;
    appendNumber(out, grey, 3);
    out += " G ";
    appendNumber(out, lineWidth);
    out += " w ";
    appendNumber(out, x1);
    out += ' ';
    appendNumber(out, height_ - y1);
    out += " m ";
    appendNumber(out, x2);
    out += ' ';
    appendNumber(out, height_ - y2);
    out += " l S\n";
}

void PdfWriter::showPage() {
    const int page = reserveObject();
    const int contents = reserveObject();
    pages_.push_back(page);
    beginObject(page);
    std::string dictionary = "<< /Type /Page /Parent 2 0 R /Resources 3 0 R /Contents ";
    appendInteger(dictionary, contents);
    dictionary += " 0 R >>\nendobj\n";
    write(dictionary);
    writeStream(contents, "", content_);
    content_.clear();
}

bool PdfWriter::finish(const FontCatalog& fonts, std::string_view title) {
    // The fonts: Type 0 with Identity-H, the glyph indices as CIDs, their subsets embedded.
    std::string resources = "<< /Font <<";
    for (const auto& face : fonts.faces()) {
        if (face->usedGlyphs().empty() || !face->loaded()) {
            continue;
        }
        const int type0 = reserveObject();
        const int cidFont = reserveObject();
        const int descriptor = reserveObject();
        const int file = reserveObject();
        const int toUnicode = reserveObject();
        resources += " /F";
        appendInteger(resources, face->number());
        resources += ' ';
        appendInteger(resources, type0);
        resources += " 0 R";

        std::string name = "CLVA";
        name += static_cast<char>('A' + face->number() / 26 % 26);
        name += static_cast<char>('A' + face->number() % 26);
        name += '+';
        name += postScriptName(face->face());

        hb_blob_t* cff = hb_face_reference_table(face->face(), HB_TAG('C', 'F', 'F', ' '));
        const bool postScriptOutlines = hb_blob_get_length(cff) > 0;
        hb_blob_destroy(cff);

        std::string out;
        beginObject(type0);
        out = "<< /Type /Font /Subtype /Type0 /BaseFont /" + name +
              " /Encoding /Identity-H /DescendantFonts [";
        appendInteger(out, cidFont);
        out += " 0 R] /ToUnicode ";
        appendInteger(out, toUnicode);
        out += " 0 R >>\nendobj\n";
        write(out);

        beginObject(cidFont);
        out = "<< /Type /Font /Subtype ";
        out += postScriptOutlines ? "/CIDFontType0" : "/CIDFontType2";
        out += " /BaseFont /" + name +
               " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
               " /FontDescriptor ";
        appendInteger(out, descriptor);
        out += " 0 R";
        if (!postScriptOutlines) {
            out += " /CIDToGIDMap /Identity";
        }
        out += " /W [";
        long long last = -2;
        for (const auto& [glyph, text] : face->usedGlyphs()) {
            if (static_cast<long long>(glyph) != last + 1) {
                out += last >= 0 ? "] " : "";
                appendInteger(out, glyph);
                out += " [";
            } else {
                out += ' ';
            }
            appendNumber(out, face->advance(glyph) * 1000.0 / face->unitsPerEm());
            last = glyph;
        }
        out += last >= 0 ? "]] >>\nendobj\n" : "] >>\nendobj\n";
        write(out);

        hb_blob_t* head = hb_face_reference_table(face->face(), HB_TAG('h', 'e', 'a', 'd'));
        unsigned headLength = 0;
        const char* headData = hb_blob_get_data(head, &headLength);
        const double em = 1000.0 / face->unitsPerEm();
        beginObject(descriptor);
        out = "<< /Type /FontDescriptor /FontName /" + name + " /Flags 32 /FontBBox [";
        for (unsigned at = 36; at <= 42; at += 2) {
            appendInteger(out, headLength >= 44 ? std::lround(readInt16(headData, at) * em) : 0);
            out += at < 42 ? " " : "";
        }
        hb_blob_destroy(head);
        out += "] /ItalicAngle 0 /Ascent ";
        appendInteger(out, std::lround(face->ascent() * 1000));
        out += " /Descent ";
        appendInteger(out, -std::lround(face->descent() * 1000));
        out += " /CapHeight ";
        appendInteger(out, std::lround(face->ascent() * 1000));
        out += " /StemV 80 ";
        out += postScriptOutlines ? "/FontFile3 " : "/FontFile2 ";
        appendInteger(out, file);
        out += " 0 R >>\nendobj\n";
        write(out);

        // The subset keeps the glyph indices, so that they stay the CIDs of the pages.
        hb_subset_input_t* input = hb_subset_input_create_or_fail();
        hb_face_t* subset = nullptr;
        if (input != nullptr) {
            hb_set_t* glyphs = hb_subset_input_glyph_set(input);
            hb_set_add(glyphs, 0);
            for (const auto& used : face->usedGlyphs()) {
                hb_set_add(glyphs, used.first);
            }
            hb_subset_input_set_flags(input,
                                      HB_SUBSET_FLAGS_RETAIN_GIDS | HB_SUBSET_FLAGS_NO_HINTING);
            hb_set_t* dropped = hb_subset_input_set(input, HB_SUBSET_SETS_DROP_TABLE_TAG);
            for (const hb_tag_t tag : {HB_TAG('G', 'S', 'U', 'B'), HB_TAG('G', 'P', 'O', 'S'),
                                       HB_TAG('G', 'D', 'E', 'F'), HB_TAG('k', 'e', 'r', 'n')}) {
                hb_set_add(dropped, tag);
            }
            subset = hb_subset_or_fail(face->face(), input);
            hb_subset_input_destroy(input);
        }
        hb_blob_t* subsetBlob = subset != nullptr ? hb_face_reference_blob(subset)
                                                  : hb_face_reference_blob(face->face());
        unsigned subsetLength = 0;
        const char* subsetData = hb_blob_get_data(subsetBlob, &subsetLength);
        std::string fileDictionary;
        if (postScriptOutlines) {
            fileDictionary = " /Subtype /OpenType";
        } else {
            fileDictionary = " /Length1 ";
            appendInteger(fileDictionary, subsetLength);
        }
        writeStream(file, fileDictionary, std::string_view(subsetData, subsetLength));
        hb_blob_destroy(subsetBlob);
        hb_face_destroy(subset);
        if (subset == nullptr) {
            failed_ = true;
        }

        std::string cmap =
            "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
            "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
            "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
            "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
        std::vector<std::pair<unsigned, const std::u32string*>> mapped;
        for (const auto& [glyph, text] : face->usedGlyphs()) {
            if (!text.empty()) {
                mapped.emplace_back(glyph, &text);
            }
        }
        for (std::size_t begin = 0; begin < mapped.size(); begin += 100) {
            const std::size_t end = std::min(mapped.size(), begin + 100);
            appendInteger(cmap, static_cast<long long>(end - begin));
            cmap += " beginbfchar\n";
            for (std::size_t i = begin; i < end; ++i) {
                cmap += '<';
                appendHex4(cmap, mapped[i].first);
                cmap += "> <";
                for (const char32_t c : *mapped[i].second) {
                    appendUtf16(cmap, c);
                }
                cmap += ">\n";
            }
            cmap += "endbfchar\n";
        }
        cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
        writeStream(toUnicode, "", cmap);
    }
    resources += " >> >>\nendobj\n";
    beginObject(kResources);
    write(resources);

    beginObject(kPageTree);
    std::string tree = "<< /Type /Pages /MediaBox [0 0 ";
    appendNumber(tree, width_);
    tree += ' ';
    appendNumber(tree, height_);
    tree += "] /Count ";
    appendInteger(tree, static_cast<long long>(pages_.size()));
    tree += " /Kids [";
    for (const int page : pages_) {
        appendInteger(tree, page);
        tree += " 0 R ";
    }
    tree += "] >>\nendobj\n";
    write(tree);

    beginObject(kCatalog);
    write("<< /Type /Catalog /Pages 2 0 R >>\nendobj\n");
    beginObject(kInfo);
    std::string info = "<< /Title (";
    for (const char c : title) {
        if (c == '(' || c == ')' || c == '\\') {
            info += '\\';
        }
        info += c;
    }
    info += ") /Creator (Clivara 2008) /Producer (Clivara 2008) >>\nendobj\n";
    write(info);

    const std::uint64_t table = offset_;
    std::string xref = "xref\n0 ";
    appendInteger(xref, static_cast<long long>(objects_.size()));
    xref += "\n0000000000 65535 f \n";
    for (std::size_t i = 1; i < objects_.size(); ++i) {
        char entry[24];
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n",
                      static_cast<unsigned long long>(objects_[i]));
        xref += entry;
    }
    xref += "trailer\n<< /Size ";
    appendInteger(xref, static_cast<long long>(objects_.size()));
    xref += " /Root 1 0 R /Info 4 0 R >>\nstartxref\n";
    appendInteger(xref, static_cast<long long>(table));
    xref += "\n%%EOF\n";
    write(xref);
    return !failed_;
}

}  // namespace clivara::pdf
