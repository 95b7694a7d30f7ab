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

constexpr double kStep = 0.25;

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

// Measures and wraps the labels' lines with the fonts on the device.
class QtLabelTypesetter final : public customers::LabelTypesetter {
  public:
    explicit QtLabelTypesetter(LabelFonts& fonts) : fonts_(fonts) {}

    double advance(const std::string& text, double size, bool bold) override {
        return fonts_.at(size, bold).metrics.horizontalAdvance(QString::fromStdString(text));
    }
    double lineSpacing(double size, bool bold) override {
        return fonts_.at(size, bold).metrics.lineSpacing();
    }
    std::vector<std::string> wrap(const std::string& text, double size, bool bold,
                                  double width) override {
        const QString string = QString::fromStdString(text);
        QTextLayout layout(string, fonts_.at(size, bold).font, fonts_.device());
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.setCacheEnabled(false);
        std::vector<std::string> pieces;
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(width);
            pieces.push_back(
                string.mid(line.textStart(), line.textLength()).trimmed().toStdString());
        }
        layout.endLayout();
        return pieces;
    }

  private:
    LabelFonts& fonts_;
};

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
    QtLabelTypesetter typesetter(fonts);
    std::vector<customers::LabelLine> drawn;
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
        const double used = customers::fitLabel(labels[label], width, height, typesetter, drawn);
        const double left = (run.labelLeft(place) + customers::kLabelInsetX) * mm;
        double top = (run.labelTop(place) + customers::kLabelInsetY) * mm +
                     std::max(0.0, (height - used) / 2);
        for (const customers::LabelLine& line : drawn) {
            const LabelFonts::Entry& entry = fonts.at(line.size, line.bold);
            painter.setFont(entry.font);
            painter.drawText(QPointF(left, top + entry.metrics.ascent()),
                             QString::fromStdString(line.text));
            top += entry.metrics.lineSpacing();
        }
    }
    if (progress) {
        progress(sheets, sheets);
    }
    return painter.end() ? PaintResult::Done : PaintResult::Failed;
}

}  // namespace clivara::print
