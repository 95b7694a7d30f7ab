#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>

namespace clivara::pdf {

class PdfText;
class PdfWriter;

// Writes a PDF of pages widthPt x heightPt (points) into a file named pdf: written beside it
// and renamed over it at the end, so that a failure leaves whatever was there before. draw
// draws every page with the text layer and the writer (text.flush() and writer.showPage()
// after each) and says whether it managed. False (with the reason on err in Italian) when it
// failed.
bool writePdfDocument(const std::filesystem::path& pdf, const char* title, double widthPt,
                      double heightPt, const std::function<bool(PdfWriter&, PdfText&)>& draw,
                      std::ostream& err);

// Today's date as the printed pages give it: "07/12/2026".
std::string todaysDate();

// Millimetres in points.
constexpr double points(double millimetres) {
    return millimetres * 72.0 / 25.4;
}

}  // namespace clivara::pdf
