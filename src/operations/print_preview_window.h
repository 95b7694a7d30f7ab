#pragma once

class QPrintPreviewDialog;
class QWidget;

namespace clivara::operations {

// A print preview that can be read at once: as large as the screen of the program's window
// leaves free, with the page fitted to the preview's width. Called before the dialog opens.
void fitPreviewToScreen(QPrintPreviewDialog& dialog, const QWidget& window);

}  // namespace clivara::operations
