#pragma once

#include <QDialog>
#include <memory>
#include <vector>

#include "register/customer_search.h"

class Form1;
class QLabel;
class QLineEdit;
class QTreeView;
class SearchResultsModel;

// "Cerca Cliente...": a line to type in, the customers that match every word in a list under
// it, and their number. Arrows move in the list, Enter or a double click loads the chosen
// customer's row into the main window's fields, Esc closes. The window does not block the
// main window and may stay open; its index of the register is built again only when the
// sheet has changed since (never per keystroke).
class CustomerSearchWindow : public QDialog {
    Q_OBJECT

  public:
    explicit CustomerSearchWindow(Form1& form);
    ~CustomerSearchWindow() override;

    // Shows the window (or brings it to the front) with the typed text selected.
    void present();

    QLineEdit* queryLine() const { return query_; }
    QTreeView* resultsView() const { return results_; }
    QLabel* countLabel() const { return count_; }
    // The sheet row of each listed customer, top to bottom.
    std::vector<int> listedRows() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    // Rebuilds the index when the register has changed since it was built; true when it
    // had to (the listed rows no longer stand for the same customers).
    bool refreshIndex();
    void showMatches();
    void loadChosen();
    void placeBesideForm();

    Form1& form_;
    QLineEdit* query_ = nullptr;
    QTreeView* results_ = nullptr;
    QLabel* count_ = nullptr;
    std::unique_ptr<SearchResultsModel> model_;
    clivara::customers::CustomerSearchIndex index_;
    QString failure_;  // why the register could not be searched, if so
    bool placed_ = false;
};
