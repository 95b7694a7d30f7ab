#pragma once

#include <QDialog>
#include <QString>
#include <functional>

#include "register/customer_export.h"

class Form1;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTableView;
class QToolButton;
class RubricaModel;

// "Rubrica": every customer in one table (src/window/rubrica_model.h), a filter line over it
// that searches as "Cerca Cliente..." does, the choice of only the customers with data to be
// checked, a click on a heading to order by that column, and the export of the customers
// shown as CSV or vCards. Enter or a double click loads the current customer into the main
// window as a choice in "Cerca Cliente..." does, and brings the main window to the front; Ctrl+F
// goes to the filter, Esc closes. The window does not block the main window; it follows every
// change of the register and keeps the current customer in view.
class RubricaWindow : public QDialog {
    Q_OBJECT

  public:
    explicit RubricaWindow(Form1& form);
    ~RubricaWindow() override;

    // Shows the window (or brings it to the front) with the focus in the table.
    void present();
    // Reads the register again (after any change of it), keeping the current customer.
    void followRegister();
    // Writes the customers shown, in the order shown, to a file the user chooses.
    void exportShown(clivara::customers::ExportFormat format);

    // Asks where an export goes (a save dialog by default): caption, proposed path, filter;
    // an empty answer cancels.
    std::function<QString(const QString&, const QString&, const QString&)> chooseExportFile;

    RubricaModel& model() const { return *model_; }
    QLineEdit* filterLine() const { return filter_; }
    QCheckBox* onlyMarkedBox() const { return onlyMarked_; }
    QTableView* table() const { return table_; }
    QLabel* countLabel() const { return count_; }
    QPushButton* csvButton() const { return csv_; }
    QPushButton* vcardButton() const { return vcard_; }
    QMenu* columnsMenu() const { return columns_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void buildColumnsMenu();
    void rememberCurrent();
    int lineOfRemembered() const;
    void makeCurrent(int line);
    void restoreCurrent();
    void afterFilter();
    void showCount();
    void loadChosen();

    Form1& form_;
    RubricaModel* model_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QCheckBox* onlyMarked_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* count_ = nullptr;
    QPushButton* csv_ = nullptr;
    QPushButton* vcard_ = nullptr;
    QToolButton* columnsButton_ = nullptr;
    QMenu* columns_ = nullptr;
    // The current customer, to find again after the lines have been read anew.
    QString currentId_;
    QString currentName_;
    int currentLine_ = -1;
    int currentRow_ = 0;
    bool restoring_ = false;
};
