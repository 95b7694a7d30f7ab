#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>

#include "print/customer_list_painter.h"

class QGuiApplication;
class QPdfWriter;

namespace clivara::print {

// A Qt application for fonts and painting, on the offscreen platform unless told otherwise;
// null when the process has one already.
std::unique_ptr<QGuiApplication> startGuiApplication();

// Paints a document into a PDF file named pdf: written beside it and renamed over it at the
// end, so that a failure leaves whatever was there before. paint sets the writer's page
// layout and paints every page. False (with the reason on err in Italian) when it failed.
bool writePdfFile(const std::filesystem::path& pdf, const char* title,
                  const std::function<PaintResult(QPdfWriter&)>& paint, std::ostream& err);

}  // namespace clivara::print
