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
    return font;
}

// A cell's text for Qt: its line breaks become line separators, which end a line in a
// QTextLayout.
QString cellString(const std::string& text) {
    QString string = QString::fromStdString(text);
    string.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return string;
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

void useListPageLayout(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape,
                                     QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter));
}

PaintResult paintCustomerList(const CustomerList& list, QPagedPaintDevice& device,
                              const Progress& progress) {
    const std::size_t customers = list.customerCount();
    const auto report = [&progress](std::size_t done, std::size_t total) {
        return !progress || progress(static_cast<int>(done), static_cast<int>(total));
    };

    QPainter painter;
    if (!painter.begin(&device)) {
        return PaintResult::Failed;
    }
    const double pageWidth = device.width();
    const double pageHeight = device.height();
    const double point = device.logicalDpiY() / 72.0;  // one typographic point in pixels

    const QFont titleFont = listFont(14, true);
    const QFont infoFont = listFont(9, false);
    const QFont headingFont = listFont(8, true);
    const QFont bodyFont = listFont(8, false);
    const QFontMetricsF titleMetrics(titleFont, &device);
    const QFontMetricsF infoMetrics(infoFont, &device);
    const QFontMetricsF headingMetrics(headingFont, &device);
    const QFontMetricsF bodyMetrics(bodyFont, &device);

    // Columns: their shares of the width, each with a gap on its right.
    const double columnGap = 4 * point;
    std::array<Column, kListColumnCount> columns;
    double left = 0;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        const double width = pageWidth * kListColumns[c].share / 100.0;
        columns[c] = {left, std::max(width - columnGap, point)};
        left += width;
    }

    // The column headings, wrapped like any text.
    std::array<QString, kListColumnCount> headings;
    std::array<std::vector<TextLine>, kListColumnCount> headingLines;
    int headingLineCount = 1;
    for (std::size_t c = 0; c < kListColumnCount; ++c) {
        headings[c] = QString::fromUtf8(kListColumns[c].heading.data(),
                                        static_cast<qsizetype>(kListColumns[c].heading.size()));
        headingLineCount =
            std::max(headingLineCount, wrapText(headings[c], headingFont, headingMetrics, &device,
                                                columns[c].textWidth, headingLines[c]));
    }

    // The parts of a page from top to bottom.
    const double bodyLine = bodyMetrics.lineSpacing();
    const double headingLine = headingMetrics.lineSpacing();
    const double titleTop = 0;
    const double headingTop = titleMetrics.lineSpacing() + 6 * point;
    const double bodyTop = headingTop + headingLineCount * headingLine + 4 * point;
    const double footerHeight = bodyMetrics.lineSpacing() + 6 * point;
    const double blockGap = 3 * point;

    customers::PageMeasures measures;
    measures.bodyHeight = std::max(pageHeight - bodyTop - footerHeight, bodyLine);
    measures.lineHeight = bodyLine;
    measures.blockGap = blockGap;
    measures.totalHeight = headingMetrics.lineSpacing() + 4 * point;

    // Measuring every cell: the lines of each customer's block.
    MeasuredList measured(customers * kListColumnCount);
    std::vector<int> blockLines(customers, 1);
    std::vector<TextLine> wrapped;
    for (std::size_t i = 0; i < customers; ++i) {
        if (i % kProgressStep == 0 && !report(i, customers * 2)) {
            painter.end();
            return PaintResult::Cancelled;
        }
        int lines = 1;
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            const std::string& text = list.cell(i, c);
            if (text.empty()) {
                continue;
            }
            const int cellLines = wrapText(cellString(text), bodyFont, bodyMetrics, &device,
                                           columns[c].textWidth, wrapped);
            measured.setCell(i * kListColumnCount + c, cellLines, wrapped);
            lines = std::max(lines, cellLines);
        }
        blockLines[i] = lines;
    }

    const std::vector<customers::ListPage> pages = customers::paginate(blockLines, measures);
    const int pageCount = static_cast<int>(pages.size());
    const QString title = QString::fromUtf8(CustomerList::title().data(),
                                            static_cast<qsizetype>(CustomerList::title().size()));
    const QString archiveName = QString::fromStdString(list.archiveName());
    const QString printedOn = QString::fromStdString(list.printedOnLine());

    QPen rule(QColor(150, 150, 150));
    rule.setWidthF(0.5 * point);
    QPen strongRule(Qt::black);
    strongRule.setWidthF(0.8 * point);
    QPen textPen(Qt::black);

    for (int p = 0; p < pageCount; ++p) {
        if (!report(customers + static_cast<std::size_t>(p) * customers / pages.size(),
                    customers * 2)) {
            painter.end();
            return PaintResult::Cancelled;
        }
        if (p > 0 && !device.newPage()) {
            painter.end();
            return PaintResult::Failed;
        }
        const customers::ListPage& page = pages[static_cast<std::size_t>(p)];

        // The title with the archive's name, and the date on the right.
        painter.setPen(textPen);
        painter.setFont(infoFont);
        const double dateWidth = infoMetrics.horizontalAdvance(printedOn);
        const double titleBaseline = titleTop + titleMetrics.ascent();
        painter.drawText(QPointF(pageWidth - dateWidth, titleBaseline), printedOn);
        painter.setFont(titleFont);
        painter.drawText(QPointF(0, titleBaseline), title);
        const double nameLeft = titleMetrics.horizontalAdvance(title) + 12 * point;
        painter.setFont(infoFont);
        const double nameRoom = pageWidth - dateWidth - 12 * point - nameLeft;
        painter.drawText(QPointF(nameLeft, titleBaseline),
                         infoMetrics.elidedText(archiveName, Qt::ElideMiddle, nameRoom));

        // The column headings over a rule.
        painter.setFont(headingFont);
        for (std::size_t c = 0; c < kListColumnCount; ++c) {
            drawTextLines(painter, headings[c], headingLines[c].data(), headingLines[c].size(), 0,
                          headingLineCount, columns[c].left, headingTop, headingLine,
                          headingMetrics.ascent());
        }
        const double headingBottom = headingTop + headingLineCount * headingLine + 2 * point;
        painter.setPen(strongRule);
        painter.drawLine(QPointF(0, headingBottom), QPointF(pageWidth, headingBottom));

        // The customers' blocks, a light rule under each.
        double top = bodyTop;
        painter.setFont(bodyFont);
        for (const customers::BlockSlice& slice : page.slices) {
            painter.setPen(textPen);
            for (std::size_t c = 0; c < kListColumnCount; ++c) {
                const std::string& text = list.cell(slice.customer, c);
                if (text.empty()) {
                    continue;
                }
                const auto [lines, lineCount] =
                    measured.lines(slice.customer * kListColumnCount + c);
                drawTextLines(painter, cellString(text), lines, lineCount, slice.firstLine,
                              slice.lineCount, columns[c].left, top, bodyLine,
                              bodyMetrics.ascent());
            }
            top += slice.lineCount * bodyLine + blockGap;
            if (slice.lastSlice) {
                painter.setPen(rule);
                const double y = top - blockGap / 2;
                painter.drawLine(QPointF(0, y), QPointF(pageWidth, y));
            }
        }
        painter.setPen(textPen);
        if (page.showsTotal) {
            painter.setFont(headingFont);
            painter.drawText(QPointF(0, top + 4 * point + headingMetrics.ascent()),
                             QString::fromStdString(list.totalLine()));
        }

        // "Pagina N di M", centred at the foot.
        painter.setFont(bodyFont);
        const QString pageText = QString::fromStdString(CustomerList::pageLine(p + 1, pageCount));
        painter.drawText(QPointF((pageWidth - bodyMetrics.horizontalAdvance(pageText)) / 2,
                                 pageHeight - bodyMetrics.descent()),
                         pageText);
    }
    report(customers * 2, customers * 2);
    return painter.end() ? PaintResult::Done : PaintResult::Failed;
}

}  // namespace clivara::print
