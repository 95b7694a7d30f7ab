#include "operations/customer_rows.h"

#include <QString>
#include <string>

#include "archive/archive_error.h"
#include "operations/guarded_operation.h"
#include "register/customer_fields.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace clivara::operations {

using archive::ArchiveError;
using archive::ArchiveProblem;
using archive::Sheet;

Sheet& requireSheet(Form1& form, std::string_view name) {
    Sheet* sheet = form.ArchiveBook ? form.ArchiveBook->sheet(name) : nullptr;
    if (sheet == nullptr) {
        throw ArchiveError(ArchiveProblem::SheetMissing,
                           "Nell'archivio manca il foglio \"" + std::string(name) + "\".");
    }
    return *sheet;
}

int rowOfShownId(Form1& form, const QString& title, const QString& notFound) {
    int row = 0;
    const std::string id = form.fieldText(2).toStdString();
    if (!guardedRead(form, [&] { row = findCustomerRowById(requireSheet(form, "Clienti"), id); })) {
        return -1;
    }
    if (row == 0) {
        form.messageBoxes().inform(&form, title, notFound);
    }
    return row;
}

bool customerFieldsStorable(Form1& form) {
    const QString title = QStringLiteral("Clivara 2008");
    if (form.fieldText(1).isEmpty()) {
        form.messageBoxes().inform(&form, title,
                                   QStringLiteral("Inserire la Ragione Sociale del cliente."));
        return false;
    }
    for (int field = 1; field <= 13; ++field) {
        if (form.fieldText(field).size() > kMaxCellTextLength) {
            form.messageBoxes().inform(
                &form, title,
                QStringLiteral("Il campo \"%1\" è troppo lungo: una cella dell'archivio contiene "
                               "al massimo 32.767 caratteri. Accorciarlo e riprovare.")
                    .arg(QString::fromUtf8(
                        customers::fieldCaption(field).data(),
                        static_cast<qsizetype>(customers::fieldCaption(field).size()))));
            return false;
        }
    }
    return true;
}

}  // namespace clivara::operations
