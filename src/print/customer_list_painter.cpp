#include "print/customer_list_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <QString>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <vector>

namespace clivara::print {

namespace {

using customers::CustomerList;
using customers::kListColumnCount;
using customers::kListColumns;

// How often the measuring reports its progress.
constexpr std::size_t kProgressStep = 256;

QFont listFont(double points, bool bold) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    // A letter spacing, however small (Qt keeps 1/64 px), turns off the cosmetic ligatures (ffi,
    // fl...): the PDF then holds the letters themselves, so that its text can be searched and
    // copied as typed.
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);
    return font;
}

// A cell's text for Qt: its line breaks become line separators, which end a line in a
// QTextLayout.
QString cellString(const std::string& text) {
    QString string = QString::fromStdString(text);
    string.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return string;
}

// The width of a text's widest line.
double widestLine(const QString& text, const QFontMetricsF& metrics) {
    if (!text.contains(QChar::LineSeparator)) {
        return metrics.horizontalAdvance(text);
    }
    double widest = 0;
    for (const QString& line : text.split(QChar::LineSeparator)) {
        widest = std::max(widest, metrics.horizontalAdvance(line));
    }
    return widest;
}

// One line of a wrapped text: where it starts and how many characters it holds.
struct TextLine {
    int start = 0;
    int length = 0;
};

// Breaks text into lines of at most width (at word boundaries, and anywhere inside a word
// longer than the line). A text that fits on one line gives no entries: it is drawn whole.
int wrapText(const QString& text, const QFont& font, const QFontMetricsF& metrics,
             QPaintDevice* device, double width, std::vector<TextLine>& lines) {
    if (!text.contains(QChar::LineSeparator) && metrics.horizontalAdvance(text) <= width) {
        return 1;
    }
    QTextLayout layout(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(false);
    int count = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.push_back({line.textStart(), line.textLength()});
        ++count;
    }
    layout.endLayout();
    return std::max(count, 1);
}

// A line of a wrapped text as drawn: without the space or line separator that ended it.
QString lineText(const QString& text, const TextLine& line) {
    QString part = text.mid(line.start, line.length);
    while (!part.isEmpty() && (part.back() == QChar::LineSeparator || part.back().isSpace())) {
        part.chop(1);
    }
    return part;
}

// The columns across the paintable width, from their shares.
struct Column {
    double left = 0;
    double textWidth = 0;
};

// The texts of a list measured for one device: for each cell its number of lines and, when
// it wraps, where its lines are.
class MeasuredList {
  public:
    MeasuredList(std::size_t cells) : lineCount_(cells, 1), firstLine_(cells + 1, 0) {}

    void setCell(std::size_t cell, int lines, std::vector<TextLine>& wrapped) {
        lineCount_[cell] = lines;
        firstLine_[cell] = static_cast<std::uint32_t>(lines_.size());
        lines_.insert(lines_.end(), wrapped.begin(), wrapped.end());
        firstLine_[cell + 1] = static_cast<std::uint32_t>(lines_.size());
        wrapped.clear();
    }
    int lineCount(std::size_t cell) const { return lineCount_[cell]; }
    // The wrapped lines of the cell (empty when it is drawn whole on one line).
    std::pair<const TextLine*, std::size_t> lines(std::size_t cell) const {
        return {lines_.data() + firstLine_[cell], firstLine_[cell + 1] - firstLine_[cell]};
    }

  private:
    std::vector<int> lineCount_;
    std::vector<std::uint32_t> firstLine_;
    std::vector<TextLine> lines_;
};

// Draws lines [first, first + count) of a text at (left, top).
void drawTextLines(QPainter& painter, const QString& text, const TextLine* lines,
                   std::size_t lineCount, int first, int count, double left, double top,
                   double lineHeight, double ascent) {
    if (lineCount == 0) {
        if (first == 0 && count > 0 && !text.isEmpty()) {
            painter.drawText(QPointF(left, top + ascent), text);
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(first + i);
        if (index >= lineCount) {
            break;
        }
        painter.drawText(QPointF(left, top + i * lineHeight + ascent),
                         lineText(text, lines[index]));
    }
}

}  // namespace

// Everything measured for one page size and resolution.
class ListLayout {
  public:
    ListLayout(const CustomerList& source, QPagedPaintDevice& device)
        : list(source),
          pageWidth(device.width()),
          pageHeight(device.height()),
          dpiX(device.logicalDpiX()),
          dpiY(device.logicalDpiY()),
          point(dpiY / 72.0),
          titleFont(listFont(14, true)),
          infoFont(listFont(9, false)),
          headingFont(listFont(8, true)),
          bodyFont(listFont(8, false)),
          titleMetrics(titleFont, &device),
          infoMetrics(infoFont, &device),
          headingMetrics(headingFont, &device),
          bodyMetrics(bodyFont, &device),
          measured(source.customerCount() * kListColumnCount) {}

    const CustomerList& list;
    int pageWidth;
    int pageHeight;
    int dpiX;
    int dpiY;
    double point;  // one typographic point in pixels
    QFont titleFont;
    QFont infoFont;
    QFont headingFont;
    QFont bodyFont;
    QFontMetricsF titleMetrics;
    QFontMetricsF infoMetrics;
    QFontMetricsF headingMetrics;
    QFontMetricsF bodyMetrics;

    std::array<Column, kListColumnCount> columns;
    std::array<QString, kListColumnCount> headings;
    std::array<std::vector<TextLine>, kListColumnCount> headingLines;
    int headingLineCount = 1;

    // The parts of a page from top to bottom.
    double bodyLine = 0;
    double headingLine = 0;
    double headingTop = 0;
    double bodyTop = 0;
    double blockGap = 0;

    MeasuredList measured;
    std::vector<customers::ListPage> pages;
};

void ListLayoutDeleter::operator()(ListLayout* layout) const {
    delete layout;
}

void useListPageLayout(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
}

ListLayoutPtr layOutCustomerList(const CustomerList& list, QPagedPaintDevice& device,
                                 const Progress& progress) {
    const std::size_t customers = list.customerCount();
    ListLayoutPtr layout(new ListLayout(list, device));
    ListLayout& l = *layout;
    const double point = l.point;

    // Every cell measured once (a text of several lines by its widest line): what each
    // column needs, then the widths, then the wrapping of the cells wider than their column.
    const double columnGap = 4 * point;
    const auto total = static_cast<int>(customers);
    std::vector<float> widths(customers * kListColumnCount, 0.0F);
    for (std::size_t i = 0; i < customers; ++i) {
        if (i % kProgressStep == 0 && progress && !progress(static_cast<int>(i / 2), total)) {
            return nullptr;
        }
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            const std::string& text = list.cell(i, c);
            if (!text.empty()) {
                widths[i * kListColumnCount + c] =
                    static_cast<float>(widestLine(cellString(text), l.bodyMetrics));
            }
        }
    }
    std::array<double, kListColumnCount> headingWidths{};
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        l.headings[c] = QString::fromUtf8(kListColumns[c].heading.data(),
                                          static_cast<qsizetype>(kListColumns[c].heading.size()));
        headingWidths[c] = l.headingMetrics.horizontalAdvance(l.headings[c]);
    }
    const std::array<customers::ColumnNeed, kListColumnCount> needs =
        customers::listColumnNeeds(widths, headingWidths, columnGap);
    const std::array<double, kListColumnCount> columnWidths =
        customers::shareListWidth(l.pageWidth, needs);
    double left = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        l.columns[c] = {left, std::max(columnWidths[c] - columnGap, point)};
        left += columnWidths[c];
    }

    // The column headings, wrapped like any text.
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        l.headingLineCount = std::max(
            l.headingLineCount, wrapText(l.headings[c], l.headingFont, l.headingMetrics, &device,
                                         l.columns[c].textWidth, l.headingLines[c]));
    }

    l.bodyLine = l.bodyMetrics.lineSpacing();
    l.headingLine = l.headingMetrics.lineSpacing();
    l.headingTop = l.titleMetrics.lineSpacing() + 6 * point;
    l.bodyTop = l.headingTop + l.headingLineCount * l.headingLine + 4 * point;
    l.blockGap = 3 * point;
    const double footerHeight = l.bodyMetrics.lineSpacing() + 6 * point;

    customers::PageMeasures measures;
    measures.bodyHeight = std::max(l.pageHeight - l.bodyTop - footerHeight, l.bodyLine);
    measures.lineHeight = l.bodyLine;
    measures.blockGap = l.blockGap;
    measures.totalHeight = l.headingMetrics.lineSpacing() + 4 * point;

    // The lines of each customer's block.
    std::vector<int> blockLines(customers, 1);
    std::vector<TextLine> wrapped;
    for (std::size_t i = 0; i < customers; ++i) {
        if (i % kProgressStep == 0 && progress &&
            !progress(static_cast<int>((customers + i) / 2), total)) {
            return nullptr;
        }
        int lines = 1;
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            const std::size_t cell = i * kListColumnCount + c;
            const std::string& text = list.cell(i, c);
            if (text.empty()) {
                continue;
            }
            if (widths[cell] <= l.columns[c].textWidth && text.find('\n') == std::string::npos) {
                l.measured.setCell(cell, 1, wrapped);  // drawn whole
                continue;
            }
            const int cellLines = wrapText(cellString(text), l.bodyFont, l.bodyMetrics, &device,
                                           l.columns[c].textWidth, wrapped);
            l.measured.setCell(cell, cellLines, wrapped);
            lines = std::max(lines, cellLines);
        }
        blockLines[i] = lines;
    }
    if (progress && !progress(total, total)) {
        return nullptr;
    }
    l.pages = customers::paginate(blockLines, measures);
    return layout;
}

int pageCount(const ListLayout& layout) {
    return static_cast<int>(layout.pages.size());
}

bool fitsDevice(const ListLayout& layout, QPagedPaintDevice& device) {
    return layout.pageWidth == device.width() && layout.pageHeight == device.height() &&
           layout.dpiX == device.logicalDpiX() && layout.dpiY == device.logicalDpiY();
}

PaintResult paintCustomerList(const ListLayout& l, QPagedPaintDevice& device,
                              const Progress& progress) {
    QPainter painter;
    if (!painter.begin(&device)) {
        return PaintResult::Failed;
    }
    const CustomerList& list = l.list;
    const double point = l.point;
    const double pageWidth = l.pageWidth;
    const double pageHeight = l.pageHeight;
    const int pages = pageCount(l);
    const QString title = QString::fromUtf8(CustomerList::title().data(),
                                            static_cast<qsizetype>(CustomerList::title().size()));
    const QString archiveName = QString::fromStdString(list.archiveName());
    const QString printedOn = QString::fromStdString(list.printedOnLine());
    // The search the list was chosen by, after the archive's name.
    const QString selection =
        list.selectionLine().empty()
            ? QString()
            : QStringLiteral(" \u2014 ") + QString::fromStdString(list.selectionLine());

    QPen rule(QColor(150, 150, 150));
    rule.setWidthF(0.5 * point);
    QPen strongRule(Qt::black);
    strongRule.setWidthF(0.8 * point);
    QPen textPen(Qt::black);

    for (int p = 0; p < pages; ++p) {
        if (progress && !progress(p, pages)) {
            painter.end();
            return PaintResult::Cancelled;
        }
        if (p > 0 && !device.newPage()) {
            painter.end();
            return PaintResult::Failed;
        }
        const customers::ListPage& page = l.pages[static_cast<std::size_t>(p)];

        // The title with the archive's name, and the date on the right.
        painter.setPen(textPen);
        painter.setFont(l.infoFont);
        const double dateWidth = l.infoMetrics.horizontalAdvance(printedOn);
        const double titleBaseline = l.titleMetrics.ascent();
        painter.drawText(QPointF(pageWidth - dateWidth, titleBaseline), printedOn);
        painter.setFont(l.titleFont);
        painter.drawText(QPointF(0, titleBaseline), title);
        const double nameLeft = l.titleMetrics.horizontalAdvance(title) + 12 * point;
        painter.setFont(l.infoFont);
        const double selectionWidth = l.infoMetrics.horizontalAdvance(selection);
        const double nameRoom = pageWidth - dateWidth - 12 * point - nameLeft - selectionWidth;
        const QString name = l.infoMetrics.elidedText(archiveName, Qt::ElideMiddle, nameRoom);
        painter.drawText(QPointF(nameLeft, titleBaseline), name);
        if (!selection.isEmpty()) {
            painter.drawText(
                QPointF(nameLeft + l.infoMetrics.horizontalAdvance(name), titleBaseline),
                selection);
        }

        // The column headings over a rule.
        painter.setFont(l.headingFont);
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            drawTextLines(painter, l.headings[c], l.headingLines[c].data(),
                          l.headingLines[c].size(), 0, l.headingLineCount, l.columns[c].left,
                          l.headingTop, l.headingLine, l.headingMetrics.ascent());
        }
        const double headingBottom = l.headingTop + l.headingLineCount * l.headingLine + 2 * point;
        painter.setPen(strongRule);
        painter.drawLine(QPointF(0, headingBottom), QPointF(pageWidth, headingBottom));

        // The customers' blocks, a light rule under each.
        double top = l.bodyTop;
        painter.setFont(l.bodyFont);
        for (const customers::BlockSlice& slice : page.slices) {
            painter.setPen(textPen);
            for (std::size_t c = 0; c < kListColumnCount; ++c) {
                const std::string& text = list.cell(slice.customer, c);
                if (text.empty()) {
                    continue;
                }
                const auto [lines, lineCount] =
                    l.measured.lines(slice.customer * kListColumnCount + c);
                drawTextLines(painter, cellString(text), lines, lineCount, slice.firstLine,
                              slice.lineCount, l.columns[c].left, top, l.bodyLine,
                              l.bodyMetrics.ascent());
            }
            top += slice.lineCount * l.bodyLine + l.blockGap;
            if (slice.lastSlice) {
                painter.setPen(rule);
                const double y = top - l.blockGap / 2;
                painter.drawLine(QPointF(0, y), QPointF(pageWidth, y));
            }
        }
        painter.setPen(textPen);
        if (page.showsTotal) {
            painter.setFont(l.headingFont);
            painter.drawText(QPointF(0, top + 4 * point + l.headingMetrics.ascent()),
                             QString::fromStdString(list.totalLine()));
        }

        // "Pagina N di M", centred at the foot.
        painter.setFont(l.bodyFont);
        const QString pageText = QString::fromStdString(CustomerList::pageLine(p + 1, pages));
        painter.drawText(QPointF((pageWidth - l.bodyMetrics.horizontalAdvance(pageText)) / 2,
                                 pageHeight - l.bodyMetrics.descent()),
                         pageText);
    }
    if (progress) {
        progress(pages, pages);
    }
    return painter.end() ? PaintResult::Done : PaintResult::Failed;
}

PaintResult paintCustomerList(const CustomerList& list, QPagedPaintDevice& device,
                              const Progress& progress) {
    const ListLayoutPtr layout = layOutCustomerList(list, device, progress);
    if (!layout) {
        return PaintResult::Cancelled;
    }
    return paintCustomerList(*layout, device, progress);
}

}  // namespace clivara::print
