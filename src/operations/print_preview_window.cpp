#include "operations/print_preview_window.h"

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
    // The dialog fits the whole page in view until told otherwise; its toolbar follows the
    // preview's zoom mode.
    if (auto* preview = dialog.findChild<QPrintPreviewWidget*>(); preview != nullptr) {
        preview->fitToWidth();
    }
}

}  // namespace clivara::operations
