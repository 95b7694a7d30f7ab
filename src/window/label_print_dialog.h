#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QLineEdit;
class QSpinBox;

// What "Stampa Etichette" asks before its preview: the label sheet's format, the customers
// (all, or those the search finds for a text) and the first free label on a partly used
// sheet (row and column, from 1). "Anteprima" accepts, "Annulla" rejects.
class LabelPrintDialog : public QDialog {
    Q_OBJECT

  public:
    explicit LabelPrintDialog(QWidget* parent = nullptr);

    // The chosen format's position in the table of formats.
    int formatIndex() const;
    QString searchText() const;
    int firstRow() const;
    int firstColumn() const;

    QComboBox* formatBox = nullptr;
    QLineEdit* searchLine = nullptr;
    QSpinBox* rowBox = nullptr;
    QSpinBox* columnBox = nullptr;

  private:
    void limitFirstLabel();
};
