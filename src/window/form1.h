#pragma once

#include <QList>
#include <QMainWindow>
#include <QString>
#include <filesystem>
#include <memory>
#include <optional>

#include "archive/workbook.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QWidget;
class MessageBoxes;
class CustomerNameModel;
class NameBlock;
namespace clivara::operations {
class Recovery;
}
namespace clivara::customers {
class ChangeHistory;
}

// The program's one window. The controls keep their numbered names (also as objectName),
// and the handlers are members named after control and event. The widget side (controls,
// menus, field rules) lives in src/window/, the handlers that work on the archive in
// src/operations/.
class Form1 : public QMainWindow {
    Q_OBJECT

  public:
    // archivePath: the archive the window works on (normally Archivio.xls beside the program).
    Form1(MessageBoxes& boxes, std::filesystem::path archivePath, QWidget* parent = nullptr);
    ~Form1() override;

    // Start-up: Form_Load (open the archive, centre the window). False when the program must
    // end without showing the window (the message has been shown already).
    bool Form_Load();
    // Shows the window; Form_Activate runs once when it first becomes active.
    void showAndActivate();

    // The controls. Fields are reached by number too: field(n) for n = 1 .. 13.
    QComboBox* Combo1 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QLineEdit* Text6 = nullptr;
    QLineEdit* Text7 = nullptr;
    QLineEdit* Text8 = nullptr;
    QLineEdit* Text9 = nullptr;
    QLineEdit* Text10 = nullptr;
    QLineEdit* Text11 = nullptr;
    QPlainTextEdit* Text12 = nullptr;
    QPlainTextEdit* Text13 = nullptr;
    QLabel* Label[15] = {};  // Label[1] .. Label[14]

    QAction* mnuA = nullptr;        // "Aggiungi Cliente"
    QAction* mnuM = nullptr;        // "Modifica Cliente"
    QAction* mnuE = nullptr;        // "Elimina Cliente"
    QAction* mnuP = nullptr;        // "Pulisci Campi"
    QAction* MnStampa = nullptr;    // "Stampa Elenco Clienti"
    QAction* mnuCerca = nullptr;    // "Cerca Cliente..." (Ctrl+F): the search window
    QAction* MnEsci = nullptr;      // "Esci"
    QAction* mnuAnnulla = nullptr;  // "Annulla ..." (Ctrl+Z): takes back the last change
    QAction* mnuRipeti = nullptr;   // "Ripeti ..." (Ctrl+Y, Ctrl+Shift+Z): makes it again
    QAction *MnRubrica = nullptr, *MnPratica = nullptr, *MenuCarta = nullptr,
            *MNRicorsi = nullptr;  // "Rubrica" opens its window; the others have no action
    QMenu* mnuEsci = nullptr;      // "Esci dal Programma"
    QMenu* Mnu = nullptr;          // "Clienti"
    QMenu* MnuPra = nullptr;       // "Pratiche"
    // "Stampa Etichette", right after "Stampa Elenco Clienti"
    QAction* MnEtichette = nullptr;

    // Field n (1..13): its text, and assignment that raises the field's change handler only
    // when the text really changes (assigning the same text raises nothing).
    QString fieldText(int n) const;
    void setFieldText(int n, const QString& text);
    // The box's text line, with the same rule (a real change runs Combo1_Change).
    QString comboText() const;
    void setComboText(const QString& text);
    // Combo1.Clear: removes every entry and blanks the text line without running
    // Combo1_Change. AddItem: appends an entry; the text line and current index stay.
    void comboClear();
    void comboAddItem(const QString& text);
    void comboAddItems(const QStringList& texts);
    void comboAddItems(const NameBlock& texts);
    // The box's entries (src/window/customer_name_model.h).
    CustomerNameModel& comboEntries() const { return *comboEntries_; }

    // The window's collection of controls, by name without regard to letter case.
    QWidget* control(const QString& name) const;
    // Every control in creation order: Label1 .. Label14, Combo1, Text1 .. Text13.
    const QList<QWidget*>& controls() const { return controls_; }
    // Sets the text of any control that has one (a field, Combo1, a label) with the rules
    // of setFieldText / setComboText; false for a control without text.
    bool setControlText(QWidget* control, const QString& text);

    // The archive held from start-up to exit, and the active sheet's name.
    std::optional<clivara::archive::Workbook> ArchiveBook;
    QString activeSheet;
    // The journal of this run's confirmed changes (src/operations/recovery.h); none when
    // the program runs without one.
    std::shared_ptr<clivara::operations::Recovery> recovery;
    // The changes since the archive was opened, for "Annulla" and "Ripeti".
    std::shared_ptr<clivara::customers::ChangeHistory> changeHistory;

    // Handlers (window side, src/window/).
    void mnuP_Click();
    void mnuCerca_Click();  // src/window/customer_search_window.cpp
    void Text10_Change();
    void MnRubrica_Click();  // src/window/rubrica_window.cpp

    // Handlers and shared procedures (operations side, src/operations/).
    void Form_Activate();
    void MnEsci_Click();
    void Combo1_Change();
    void Combo1_Click(int chosenIndex);
    void mnuA_Click();
    void mnuM_Click();
    void mnuE_Click();
    void mnuAnnulla_Click();  // src/operations/undo_change.cpp
    void mnuRipeti_Click();
    void MnStampa_Click();  // the print preview of the list (print_customer_list.cpp)
    // the labels' dialog and preview (print_labels.cpp)
    void MnEtichette_Click();
    void SortArchive();
    void FillCustomerList();
    void ReloadCustomerList();
    // Walks column A from firstRow; stopAtEmpty chooses the stop or the skip rule.
    // True when the walk reached the end of the range.
    bool AddCustomerNames(int firstRow, bool stopAtEmpty);
    // Loads the thirteen cells of that row of "Clienti" into the fields, as choosing the row's
    // name in Combo1 does (Combo1's own text stays); a failure is reported, nothing changes.
    void loadCustomerRow(int row);

    // Read-only opening: the title says so and the entries that change the archive are
    // disabled (src/window/read_only_mode.cpp). An entry that changes the archive joins them
    // with addArchiveChangingEntry, also one added later.
    void setArchiveReadOnly(bool readOnly);
    bool archiveReadOnly() const { return archiveReadOnly_; }
    void addArchiveChangingEntry(QAction* entry);

    MessageBoxes& messageBoxes() { return boxes_; }
    const std::filesystem::path& archivePath() const { return archivePath_; }

  Q_SIGNALS:
    // The register in ArchiveBook has changed (an operation ran, or was taken back): the views
    // over it (the Rubrica) read it again. Whatever changes the register emits it.
    void registerChanged();

  protected:
    void closeEvent(QCloseEvent* event) override;  // Form_QueryUnload: refuses every close
    bool event(QEvent* event) override;            // first activation runs Form_Activate

  private:
    void buildControls();
    void buildMenus();
    void runComboChange();
    template <class Append>
    void appendComboEntries(Append&& append);
    void runFirstActivation();
    void keepLengthLimit(QLineEdit* edit, int limit);
    MessageBoxes& boxes_;
    std::filesystem::path archivePath_;
    QWidget* fields_[14] = {};  // fields_[1] .. fields_[13]
    QList<QWidget*> controls_;
    CustomerNameModel* comboEntries_ = nullptr;
    QList<QAction*> archiveChangingEntries_;
    bool archiveReadOnly_ = false;
    bool activated_ = false;
    bool inComboClear_ = false;
    bool inComboChange_ = false;
};
