#include "operations/print_preview_window.h"

#include <QAction>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QScreen>
#include <QWidget>

namespace clivara::operations {

void fitPreviewToScreen(QPrintPreviewDialog& dialog, const QWidget& window) {
    if (const QScreen* screen = window.screen(); screen != nullptr) {
        const QRect free = screen->availableGeometry();
        dialog.resize(free.size());
        dialog.move(free.topLeft());
    }
    // The dialog fits the whole page in view until told otherwise. Its own "fit width" button
    // both fits the page and shows itself pressed; the preview alone is told where the button
    // cannot be found.
    if (auto* fitWidth = dialog.findChild<QAction*>(QStringLiteral("fitWidthAction"));
        fitWidth != nullptr) {
        fitWidth->trigger();
    } else if (auto* preview = dialog.findChild<QPrintPreviewWidget*>(); preview != nullptr) {
        preview->fitToWidth();
    }
}

}  // namespace clivara::operations
