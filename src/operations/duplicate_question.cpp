#include "operations/duplicate_question.h"

#include <QString>
#include <exception>
#include <optional>
#include <string>

#include "register/customer_duplicates.h"
#include "register/customer_fields.h"
#include "register/customer_rows.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace clivara::operations {

namespace {

QString sharedWhat(customers::SharedField field) {
    switch (field) {
        case customers::SharedField::VatNumber:
            return QStringLiteral("con la stessa Partita IVA");
        case customers::SharedField::TaxCode:
            return QStringLiteral("con lo stesso Codice Fiscale");
        case customers::SharedField::Name:
            break;
    }
    return QStringLiteral("con la stessa Ragione Sociale");
}

// The other customer that seems the same as the one in the fields, if any.
std::optional<customers::Duplicate> duplicateOf(Form1& form, StoredAs change) {
    const archive::Sheet* clienti = form.ArchiveBook ? form.ArchiveBook->sheet("Clienti") : nullptr;
    if (clienti == nullptr) {
        return std::nullopt;  // the operation itself reports the missing sheet
    }
    int rewritten = 0;
    if (change == StoredAs::Modification) {
        rewritten = customers::findCustomerRowById(*clienti, form.fieldText(2).toStdString());
        if (rewritten == 0) {
            return std::nullopt;
        }
    }
    const std::string name = form.fieldText(customers::kNameColumn).toStdString();
    const std::string taxCode = form.fieldText(customers::kTaxCodeColumn).toStdString();
    const std::string vatNumber = form.fieldText(customers::kVatNumberColumn).toStdString();
    return customers::findDuplicate(*clienti, {name, taxCode, vatNumber}, rewritten);
}

}  // namespace

bool duplicateAccepted(Form1& form, StoredAs change) {
    std::optional<customers::Duplicate> duplicate;
    try {
        duplicate = duplicateOf(form, change);
    } catch (const std::exception&) {
        // Only a warning: when the archive cannot be read here, the operation's own steps
        // meet the same failure and report it.
        return true;
    }
    if (!duplicate) {
        return true;
    }
    const QString id = duplicate->id.empty()
                           ? QStringLiteral("senza ID")
                           : QStringLiteral("ID %1").arg(QString::fromStdString(duplicate->id));
    const QString text =
        change == StoredAs::Addition
            ? QStringLiteral("Esiste già un cliente %1: «%2» (%3). Aggiungerlo comunque?")
            : QStringLiteral(
                  "Esiste già un altro cliente %1: «%2» (%3). Salvare comunque la "
                  "modifica?");
    return form.messageBoxes().askYesNoDefaultNo(
        &form, QStringLiteral("Clivara 2008"),
        text.arg(sharedWhat(duplicate->field), QString::fromStdString(duplicate->name), id));
}

}  // namespace clivara::operations
