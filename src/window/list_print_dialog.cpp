#include "window/list_print_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

ListPrintDialog::ListPrintDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Stampa Elenco Clienti"));
    setObjectName(QStringLiteral("stampaElenco"));

    searchLine = new QLineEdit(this);
    searchLine->setPlaceholderText(QStringLiteral("vuoto: tutti i clienti"));
    searchLine->setMinimumWidth(240);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Clienti che contengono:"), searchLine);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* preview =
        buttons->addButton(QStringLiteral("Anteprima"), QDialogButtonBox::AcceptRole);
    preview->setDefault(true);
    buttons->addButton(QStringLiteral("Annulla"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    searchLine->setFocus();
}

QString ListPrintDialog::searchText() const {
    return searchLine->text();
}
