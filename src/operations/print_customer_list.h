#pragma once

#include <QString>
#include <string_view>

#include "print/customer_list_painter.h"
#include "register/customer_list.h"

class Form1;
class QPrinter;
class QWidget;

namespace clivara::operations {

// "Stampa Elenco Clienti": the printed list of the open archive's customers, painted on the
// print preview or on the printer (or PDF file) chosen there. The layout is made once per page
// size and resolution and kept, so that printing what the preview shows only paints it.
// For long lists a modal progress dialog over parent shows how far the work is and lets the
// user cancel it; the events are processed meanwhile, so the windows keep repainting.
class CustomerListPrint {
  public:
    CustomerListPrint(customers::CustomerList list, QWidget* parent);

    enum class Outcome { Printed, Cancelled, Failed, Busy };

    // Lays the list out if needed and paints it on printer. A cancel during the layout paints
    // nothing; a cancel while painting a PDF file removes the unfinished file. Busy when
    // called again while the list is being printed.
    Outcome print(QPrinter& printer);

    // The last printing's outcome, and how many times a layout was made.
    Outcome lastOutcome() const { return lastOutcome_; }
    int layoutsMade() const { return layoutsMade_; }

  private:
    bool reportProgress(const QString& label, int done, int total);

    customers::CustomerList list_;
    QWidget* parent_;
    print::ListLayoutPtr layout_;
    Outcome lastOutcome_ = Outcome::Printed;
    int layoutsMade_ = 0;
    bool busy_ = false;
};

// The list of the customers in the open archive's "Clienti" sheet (all of them, or those the
// search finds for query, with the count in the heading), headed with the archive's file
// name and today's date.
customers::CustomerList openArchiveCustomerList(Form1& form, std::string_view query = {});

// Asks for a search text (empty: every customer), then opens the print preview of the list
// (A4 landscape); the user prints it from there. An empty selection prints its heading and
// "Totale clienti: 0".
void showCustomerListPreview(Form1& form);

}  // namespace clivara::operations
