#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace clivara::pdf {

class FontCatalog;
class FontFace;

// Writes a PDF file page by page: each page's content stream (compressed with zlib's fastest
// level) goes to the file when the page ends, and the fonts (their subsets made by
// HarfBuzz, with ToUnicode maps so that the text reads back), the page tree and the cross
// reference table at the end. Coordinates are in points from the page's top-left corner.
class PdfWriter {
  public:
    PdfWriter(std::FILE* out, double width, double height);
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    double width() const { return width_; }
    double height() const { return height_; }

    // The current page's content stream, for the text layer to append to.
    std::string& content() { return content_; }
    // A straight line from (x1, y1) to (x2, y2), lineWidth points wide, in a grey from 0
    // (black) to 1 (white). Only outside text objects.
    void line(double x1, double y1, double x2, double y2, double lineWidth, double grey);
    // Ends the current page and starts the next.
    void showPage();
    // Writes what is left: fonts (those of the catalog that drew something), pages, the
    // document's title, the cross reference table. False when anything failed to be written.
    bool finish(const FontCatalog& fonts, std::string_view title);

  private:
    int reserveObject();
    void beginObject(int number);
    void writeStream(int number, std::string_view dictionary, std::string_view data);
    void write(std::string_view data);

    std::FILE* out_;
    double width_;
    double height_;
    std::uint64_t offset_ = 0;
    bool failed_ = false;
    std::vector<std::uint64_t> objects_;  // offsets by object number (0 unused)
    std::vector<int> pages_;              // the pages' object numbers
    std::string content_;
    std::vector<unsigned char> compressed_;
};

// Appends a number with up to `decimals` decimals (at most 4), without trailing zeros.
void appendNumber(std::string& out, double value, int decimals = 2);

}  // namespace clivara::pdf
