#pragma once

#include <string_view>

#include "print/label_painter.h"
#include "register/address_labels.h"

class Form1;

namespace clivara::operations {

// The labels of the open archive's customers that a search text chooses (all for an empty
// text): their postal lines, in sheet order.
print::LabelTexts openArchiveLabels(Form1& form, std::string_view query);

// "Stampa Etichette": asks the format, the customers and the first free label, then opens
// the print preview of the labels; the user prints them from there. A search that finds no
// customer says so and opens nothing.
void showLabelsPreview(Form1& form);

}  // namespace clivara::operations
