#include "pdf/list_document.h"

#include <algorithm>
#include <array>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/book/archive_guard.h"
#include "archive/workbook.h"
#include "pdf/pdf_document.h"
#include "pdf/pdf_text.h"
#include "pdf/pdf_writer.h"
#include "register/customer_list.h"
#include "register/customer_selection.h"

namespace clivara::pdf {

namespace {

using customers::CustomerList;
using customers::kListColumnCount;
using customers::kListColumns;

constexpr int kWritten = 0;
constexpr int kFailed = 2;

// A4 landscape with 10 mm margins, in points.
constexpr double kPaperWidth = points(297);
constexpr double kPaperHeight = points(210);
constexpr double kMargin = points(10);

// The width of a text's widest line.
double widestLine(PdfText& text, const PdfText::Font& font, std::string_view cell) {
    double widest = 0;
    for (std::size_t begin = 0; begin <= cell.size();) {
        std::size_t end = cell.find('\n', begin);
        if (end == std::string_view::npos) {
            end = cell.size();
        }
        widest = std::max(widest, text.width(font, cell.substr(begin, end - begin)));
        begin = end + 1;
    }
    return widest;
}

// The list laid out on the page (lengths in points from the paintable area's corner) and
// drawn: the same layout as the printed list's, each text measured once.
class ListDocument {
  public:
    ListDocument(const CustomerList& list, PdfWriter& writer, PdfText& text)
        : list_(list),
          text_(text),
          writer_(writer),
          title_(text_.font(14, true)),
          info_(text_.font(9, false)),
          heading_(text_.font(8, true)),
          body_(text_.font(8, false)) {}

    void layOut();
    void draw();

  private:
    struct Column {
        double left = 0;
        double textWidth = 0;
    };

    // Draws lines [first, first + count) of a cell: its wrapped lines when it has some, else
    // the text whole on the first line.
    void drawLines(const PdfText::Font& font, const std::string& cell,
                   const std::vector<std::string>* wrapped, int first, int count, double left,
                   double top, double lineHeight);

    const CustomerList& list_;
    PdfText& text_;
    PdfWriter& writer_;
    const PdfText::Font& title_;
    const PdfText::Font& info_;
    const PdfText::Font& heading_;
    const PdfText::Font& body_;

    double pageWidth_ = kPaperWidth - 2 * kMargin;
    double pageHeight_ = kPaperHeight - 2 * kMargin;
    std::array<Column, kListColumnCount> columns_;
    std::array<std::vector<std::string>, kListColumnCount> headingLines_;
    int headingLineCount_ = 1;
    double bodyLine_ = 0;
    double headingLine_ = 0;
    double headingTop_ = 0;
    double bodyTop_ = 0;
    double blockGap_ = 3;
    std::unordered_map<std::size_t, std::vector<std::string>> wrapped_;  // by cell
    std::vector<customers::ListPage> pages_;
};

void ListDocument::layOut() {
    const std::size_t customers = list_.customerCount();
    const double columnGap = 4;
    std::vector<float> widths(customers * kListColumnCount, 0.0F);
    for (std::size_t i = 0; i < customers; ++i) {
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            const std::string& cell = list_.cell(i, c);
            if (!cell.empty()) {
                widths[i * kListColumnCount + c] =
                    static_cast<float>(widestLine(text_, body_, cell));
            }
        }
    }
    std::array<double, kListColumnCount> headingWidths{};
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        headingWidths[c] = text_.width(heading_, kListColumns[c].heading);
    }
    const std::array<double, kListColumnCount> columnWidths = customers::shareListWidth(
        pageWidth_, customers::listColumnNeeds(widths, headingWidths, columnGap));
    double left = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        columns_[c] = {left, std::max(columnWidths[c] - columnGap, 1.0)};
        left += columnWidths[c];
        if (headingWidths[c] > columns_[c].textWidth) {
            headingLines_[c] = text_.wrap(heading_, kListColumns[c].heading, columns_[c].textWidth);
            headingLineCount_ =
                std::max(headingLineCount_, static_cast<int>(headingLines_[c].size()));
        }
    }

    bodyLine_ = text_.lineSpacing(body_);
    headingLine_ = text_.lineSpacing(heading_);
    headingTop_ = text_.lineSpacing(title_) + 6;
    bodyTop_ = headingTop_ + headingLineCount_ * headingLine_ + 4;
    const double footerHeight = bodyLine_ + 6;

    customers::PageMeasures measures;
    measures.bodyHeight = std::max(pageHeight_ - bodyTop_ - footerHeight, bodyLine_);
    measures.lineHeight = bodyLine_;
    measures.blockGap = blockGap_;
    measures.totalHeight = headingLine_ + 4;

    // Only the cells wider than their column, or of several lines, are broken into lines.
    std::vector<int> blockLines(customers, 1);
    for (std::size_t i = 0; i < customers; ++i) {
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            const std::size_t cell = i * kListColumnCount + c;
            const std::string& textOfCell = list_.cell(i, c);
            if (textOfCell.empty() || (widths[cell] <= columns_[c].textWidth &&
                                       textOfCell.find('\n') == std::string::npos)) {
                continue;
            }
            std::vector<std::string> lines = text_.wrap(body_, textOfCell, columns_[c].textWidth);
            blockLines[i] = std::max(blockLines[i], static_cast<int>(lines.size()));
            wrapped_.emplace(cell, std::move(lines));
        }
    }
    pages_ = customers::paginate(blockLines, measures);
}

void ListDocument::drawLines(const PdfText::Font& font, const std::string& cell,
                             const std::vector<std::string>* wrapped, int first, int count,
                             double left, double top, double lineHeight) {
    const double ascent = text_.ascent(font);
    if (wrapped == nullptr || wrapped->empty()) {
        if (first == 0 && count > 0) {
            text_.draw(font, kMargin + left, kMargin + top + ascent, cell);
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(first + i);
        if (index >= wrapped->size()) {
            break;
        }
        text_.draw(font, kMargin + left, kMargin + top + i * lineHeight + ascent,
                   (*wrapped)[index]);
    }
}

void ListDocument::draw() {
    const int pages = static_cast<int>(pages_.size());
    const std::string printedOn = list_.printedOnLine();
    const std::string selection =
        list_.selectionLine().empty() ? std::string() : " \u2014 " + list_.selectionLine();
    // What stands at the top of every page, measured once.
    const double dateWidth = text_.width(info_, printedOn);
    const double titleBaseline = kMargin + text_.ascent(title_);
    const double nameLeft = text_.width(title_, CustomerList::title()) + 12;
    const double selectionWidth = text_.width(info_, selection);
    const std::string name = text_.elided(info_, list_.archiveName(),
                                          pageWidth_ - dateWidth - 12 - nameLeft - selectionWidth);
    const double nameWidth = text_.width(info_, name);
    const double headingBottom = bodyTop_ - 2;

    for (int p = 0; p < pages; ++p) {
        const customers::ListPage& page = pages_[static_cast<std::size_t>(p)];
        text_.draw(info_, kMargin + pageWidth_ - dateWidth, titleBaseline, printedOn);
        text_.draw(title_, kMargin, titleBaseline, CustomerList::title());
        text_.draw(info_, kMargin + nameLeft, titleBaseline, name);
        text_.draw(info_, kMargin + nameLeft + nameWidth, titleBaseline, selection);
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            drawLines(heading_, std::string(kListColumns[c].heading), &headingLines_[c], 0,
                      headingLineCount_, columns_[c].left, headingTop_, headingLine_);
        }

        // The customers' blocks; the light rules under them are drawn together afterwards.
        double top = bodyTop_;
        std::vector<double> rules;
        for (const customers::BlockSlice& slice : page.slices) {
            for (std::size_t c = 0; c < kListColumnCount; ++c) {
                const std::string& cell = list_.cell(slice.customer, c);
                if (cell.empty()) {
                    continue;
                }
                const auto found = wrapped_.find(slice.customer * kListColumnCount + c);
                drawLines(body_, cell, found == wrapped_.end() ? nullptr : &found->second,
                          slice.firstLine, slice.lineCount, columns_[c].left, top, bodyLine_);
            }
            top += slice.lineCount * bodyLine_ + blockGap_;
            if (slice.lastSlice) {
                rules.push_back(top - blockGap_ / 2);
            }
        }
        if (page.showsTotal) {
            text_.draw(heading_, kMargin, kMargin + top + 4 + text_.ascent(heading_),
                       list_.totalLine());
        }
        const std::string pageText = CustomerList::pageLine(p + 1, pages);
        text_.draw(body_, kMargin + (pageWidth_ - text_.width(body_, pageText)) / 2,
                   kMargin + pageHeight_ - text_.descent(body_), pageText);

        text_.flush();
        writer_.line(kMargin, kMargin + headingBottom, kMargin + pageWidth_,
                     kMargin + headingBottom, 0.8, 0);
        for (const double y : rules) {
            writer_.line(kMargin, kMargin + y, kMargin + pageWidth_, kMargin + y, 0.5, 150 / 255.0);
        }
        writer_.showPage();
    }
}

}  // namespace

int writeCustomerListPdf(const std::filesystem::path& archivePath,
                         const std::filesystem::path& pdfPath, std::string_view query,
                         std::ostream& err) {
    return archive::guardedRun(err, kFailed, [&] {
        const archive::Workbook book = archive::Workbook::open(archivePath);
        const archive::Sheet* clienti = book.sheet("Clienti");
        if (clienti == nullptr) {
            err << "L'archivio " << archivePath.filename().string()
                << " non ha il foglio \"Clienti\".\n";
            return kFailed;
        }
        customers::CustomerSelection selection = customers::selectCustomers(*clienti, query);
        CustomerList list(selection.customers, archivePath.filename().string(), todaysDate());
        if (!selection.query.empty()) {
            list.setSelection(selection.query, selection.allCustomers);
        }
        const bool written = writePdfDocument(
            pdfPath, "Elenco Clienti", kPaperWidth, kPaperHeight,
            [&list](PdfWriter& writer, PdfText& text) {
                ListDocument document(list, writer, text);
                document.layOut();
                document.draw();
                return true;
            },
            err);
        return written ? kWritten : kFailed;
    });
}

}  // namespace clivara::pdf
