#pragma once

#include <QStyledItemDelegate>

// Draws the cells of the "Rubrica" table as the style draws an item's text, with the text laid
// out once per cell: a table of tens of thousands of customers repaints a page of cells at every
// scroll step and keystroke, and the style's own drawing lays each text out three times. The
// current and the selected cells, the only ones with a focus frame or a highlight, are left to
// the style as they are.
class RubricaCellDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};
