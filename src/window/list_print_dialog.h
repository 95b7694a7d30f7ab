#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// What "Stampa Elenco Clienti" asks before its preview: every customer (the line left empty)
// or those the search finds for a text. "Anteprima" (the default: Enter) accepts.
class ListPrintDialog : public QDialog {
    Q_OBJECT

  public:
    explicit ListPrintDialog(QWidget* parent = nullptr);

    QString searchText() const;

    QLineEdit* searchLine = nullptr;
};
