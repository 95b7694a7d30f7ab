#include "print/label_painter.h"

#include <QFont>
#include <QFontMetricsF>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QString>
#include <QTextLayout>
#include <QTextOption>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <utility>

namespace clivara::print {

namespace {

using customers::LabelPlace;
using customers::LabelRun;

// The type sizes, in points: a line is drawn at the base size when it fits, else smaller in
// quarter points down to the floor, below which it wraps. A label whose lines are still taller
// than its room is drawn smaller as a whole, down to the least size.
constexpr double kBaseSize = 10;
constexpr double kFloorSize = 7;
constexpr double kLeastSize = 3;
constexpr double kStep = 0.25;

double stepDown(double size) {
    return std::floor(size / kStep) * kStep;
}

// The fonts of the labels by size, with their metrics on the device: the first line (the
// Ragione Sociale) in bold.
class LabelFonts {
  public:
    explicit LabelFonts(QPaintDevice* device) : device_(device) {}

    struct Entry {
        QFont font;
        QFontMetricsF metrics;
    };

    const Entry& at(double size, bool bold) {
        const auto key = std::make_pair(static_cast<int>(std::lround(size / kStep)), bold);
        auto found = cache_.find(key);
        if (found == cache_.end()) {
            QFont font(QStringLiteral("DejaVu Sans"));
            font.setStyleHint(QFont::SansSerif);
            font.setPointSizeF(size);
            font.setBold(bold);
            // As in the list: no ligatures, so that the text reads back as typed.
            font.setLetterSpacing(QFont::AbsoluteSpacing, 0.05);
            found = cache_
                        .emplace(key,
                                 std::make_unique<Entry>(Entry{font, QFontMetricsF(font, device_)}))
                        .first;
        }
        return *found->second;
    }
    QPaintDevice* device() const { return device_; }

  private:
    QPaintDevice* device_;
    std::map<std::pair<int, bool>, std::unique_ptr<Entry>> cache_;
};

// One line as drawn on a label.
struct DrawnLine {
    QString text;
    double size = kBaseSize;
    bool bold = false;
};

// A line broken into pieces no wider than width (at spaces, inside a word wider than that).
void wrapLine(const QString& text, const LabelFonts::Entry& entry, QPaintDevice* device,
              double width, double size, bool bold, std::vector<DrawnLine>& out) {
    QTextLayout layout(text, entry.font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(false);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        out.push_back({text.mid(line.textStart(), line.textLength()).trimmed(), size, bold});
    }
    layout.endLayout();
}

// The lines of one label fitted into width x height (device pixels); the height they take.
double fitLabel(const std::vector<QString>& lines, LabelFonts& fonts, double width, double height,
                std::vector<DrawnLine>& out) {
    double limit = kBaseSize;
    for (;;) {
        out.clear();
        double used = 0;
        const double floor = std::min(kFloorSize, limit);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const bool bold = i == 0;
            double size = limit;
            double advance = fonts.at(size, bold).metrics.horizontalAdvance(lines[i]);
            if (advance > width) {
                // The advance grows with the size: start from the size that should fit.
                size = std::max(floor, std::min(size, stepDown(size * width / advance)));
                advance = fonts.at(size, bold).metrics.horizontalAdvance(lines[i]);
                while (advance > width && size > floor) {
                    size = std::max(floor, size - kStep);
                    advance = fonts.at(size, bold).metrics.horizontalAdvance(lines[i]);
                }
            }
            const LabelFonts::Entry& entry = fonts.at(size, bold);
            const std::size_t before = out.size();
            if (advance > width) {
                wrapLine(lines[i], entry, fonts.device(), width, size, bold, out);
            } else {
                out.push_back({lines[i], size, bold});
            }
            used += static_cast<double>(out.size() - before) * entry.metrics.lineSpacing();
        }
        if (used <= height || limit <= kLeastSize) {
            return used;
        }
        const double smaller = stepDown(limit * height / used);
        limit = std::max(kLeastSize, smaller < limit ? smaller : limit - kStep);
    }
}

}  // namespace

void useLabelPageLayout(QPagedPaintDevice& device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter));
}

PaintResult paintLabels(const LabelRun& run, const LabelTexts& labels, QPagedPaintDevice& device,
                        const Progress& progress) {
    QPainter painter;
    if (!painter.begin(&device)) {
        return PaintResult::Failed;
    }
    // The painter starts at the paintable area's corner; the labels are placed from the
    // paper's, so a printer's own margins (if it keeps some) do not move them.
    const double mm = device.logicalDpiX() / 25.4;
    const QRect paintable = device.pageLayout().paintRectPixels(device.logicalDpiX());
    painter.translate(-paintable.left(), -paintable.top());

    const customers::LabelFormat& format = run.format();
    const double width = (format.width - 2 * customers::kLabelInsetX) * mm;
    const double height = (format.height - 2 * customers::kLabelInsetY) * mm;
    LabelFonts fonts(&device);
    std::vector<QString> lines;
    std::vector<DrawnLine> drawn;
    const auto sheets = static_cast<int>(run.sheetCount());
    std::size_t sheet = 0;
    for (std::size_t label = 0; label < labels.size(); ++label) {
        const LabelPlace place = run.place(label);
        if (place.sheet != sheet) {
            if (progress && !progress(static_cast<int>(place.sheet), sheets)) {
                painter.end();
                return PaintResult::Cancelled;
            }
            for (; sheet < place.sheet; ++sheet) {
                if (!device.newPage()) {
                    painter.end();
                    return PaintResult::Failed;
                }
            }
        }
        lines.clear();
        for (const std::string& line : labels[label]) {
            lines.push_back(QString::fromStdString(line));
        }
        const double used = fitLabel(lines, fonts, width, height, drawn);
        const double left = (run.labelLeft(place) + customers::kLabelInsetX) * mm;
        double top = (run.labelTop(place) + customers::kLabelInsetY) * mm +
                     std::max(0.0, (height - used) / 2);
        for (const DrawnLine& line : drawn) {
            const LabelFonts::Entry& entry = fonts.at(line.size, line.bold);
            painter.setFont(entry.font);
            painter.drawText(QPointF(left, top + entry.metrics.ascent()), line.text);
            top += entry.metrics.lineSpacing();
        }
    }
    if (progress) {
        progress(sheets, sheets);
    }
    return painter.end() ? PaintResult::Done : PaintResult::Failed;
}

}  // namespace clivara::print
