#pragma once

#include <string>
#include <vector>

#include "print/customer_list_painter.h"
#include "register/address_labels.h"

class QPagedPaintDevice;

namespace clivara::print {

// The lines of each label of a run, in order (see customers::postalLines).
using LabelTexts = std::vector<std::vector<std::string>>;

// Paints address labels on sheets of the run's format: each label's lines left-aligned
// inside its inset, the block centred from top to bottom. Nothing is cut: a line too wide
// for the label is drawn smaller, down to a floor, and below that it wraps; a label whose
// lines are still too tall for it is drawn smaller as a whole. The device must use the label
// page layout (useLabelPageLayout). A cancel stops after the sheet being painted.
PaintResult paintLabels(const customers::LabelRun& run, const LabelTexts& labels,
                        QPagedPaintDevice& device, const Progress& progress = {});

// A4 portrait without margins: the label sheet's own coordinates.
void useLabelPageLayout(QPagedPaintDevice& device);

}  // namespace clivara::print
