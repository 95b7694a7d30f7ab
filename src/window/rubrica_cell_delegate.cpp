#include "window/rubrica_cell_delegate.h"

#include <QApplication>
#include <QBrush>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <QTextOption>
#include <QWidget>
#include <cmath>

namespace {

// The text in one line of the given width: its layout, and whether it fits.
bool layOut(QTextLayout& layout, const QTextOption& option, qreal width) {
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) line.setLineWidth(width);
    layout.endLayout();
    return !line.isValid() || line.naturalTextWidth() <= width;
}

}  // namespace

void RubricaCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
    if (option.state & (QStyle::State_Selected | QStyle::State_HasFocus)) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();

    // The background of a marked cell, as the style fills an item's own brush.
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.isValid()) {
        QStyleOptionViewItem panel = option;
        panel.backgroundBrush = background.value<QBrush>();
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &panel, painter, widget);
    }

    const QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty()) return;
    const QVariant alignment = index.data(Qt::TextAlignmentRole);
    const Qt::Alignment align =
        alignment.isValid() ? alignment.value<Qt::Alignment>() : option.displayAlignment;
    // The margins, colour and elision of the style's item text.
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
    const QRect textRect = option.rect.adjusted(margin, 0, -margin, 0);
    if (textRect.width() <= 0) return;
    QPalette::ColorGroup group =
        option.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled;
    if (group == QPalette::Normal && !(option.state & QStyle::State_Active)) {
        group = QPalette::Inactive;
    }
    QTextOption textOption;
    textOption.setWrapMode(QTextOption::ManualWrap);
    textOption.setTextDirection(option.direction);
    textOption.setAlignment(QStyle::visualAlignment(option.direction, align));

    QTextLayout layout(text, option.font);
    if (!layOut(layout, textOption, textRect.width())) {
        layout.setText(option.fontMetrics.elidedText(text, option.textElideMode, textRect.width()));
        layOut(layout, textOption, textRect.width());
    }
    const qreal height = layout.lineCount() > 0 ? layout.lineAt(0).height() : 0;
    qreal top = textRect.top();
    if (align & Qt::AlignVCenter) {
        top += (textRect.height() - height) / 2;
    } else if (align & Qt::AlignBottom) {
        top += textRect.height() - height;
    }
    painter->save();
    painter->setClipRect(option.rect);
    painter->setPen(option.palette.color(group, QPalette::Text));
    layout.draw(painter, QPointF(textRect.left(), std::floor(top)));
    painter->restore();
}
