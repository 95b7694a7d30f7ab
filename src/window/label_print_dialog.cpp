#include "window/label_print_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "register/address_labels.h"

LabelPrintDialog::LabelPrintDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Stampa Etichette"));
    setObjectName(QStringLiteral("stampaEtichette"));

    formatBox = new QComboBox(this);
    for (const clivara::customers::LabelFormat& format : clivara::customers::kLabelFormats) {
        formatBox->addItem(QString::fromStdString(format.description()));
    }
    searchLine = new QLineEdit(this);
    searchLine->setPlaceholderText(QStringLiteral("vuoto: tutti i clienti"));
    rowBox = new QSpinBox(this);
    columnBox = new QSpinBox(this);
    rowBox->setMinimum(1);
    columnBox->setMinimum(1);

    auto* firstLabel = new QHBoxLayout;
    firstLabel->addWidget(new QLabel(QStringLiteral("riga"), this));
    firstLabel->addWidget(rowBox);
    firstLabel->addWidget(new QLabel(QStringLiteral("colonna"), this));
    firstLabel->addWidget(columnBox);
    firstLabel->addStretch();

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Formato del foglio:"), formatBox);
    form->addRow(QStringLiteral("Clienti che contengono:"), searchLine);
    form->addRow(QStringLiteral("Prima etichetta libera:"), firstLabel);

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

    connect(formatBox, &QComboBox::currentIndexChanged, this, [this] { limitFirstLabel(); });
    limitFirstLabel();
    searchLine->setFocus();
}

void LabelPrintDialog::limitFirstLabel() {
    const auto& format =
        clivara::customers::kLabelFormats.at(static_cast<std::size_t>(formatIndex()));
    rowBox->setMaximum(format.rows);
    columnBox->setMaximum(format.columns);
}

int LabelPrintDialog::formatIndex() const {
    return std::max(formatBox->currentIndex(), 0);
}

QString LabelPrintDialog::searchText() const {
    return searchLine->text();
}

int LabelPrintDialog::firstRow() const {
    return rowBox->value();
}

int LabelPrintDialog::firstColumn() const {
    return columnBox->value();
}
