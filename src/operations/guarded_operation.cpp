#include "operations/guarded_operation.h"

namespace clivara::operations {

void reportOperationFailure(Form1& form, const char* reason) {
    QString text = QStringLiteral("Operazione non riuscita: l'archivio resta com'era prima.");
    if (reason != nullptr && *reason != '\0') {
        text += QStringLiteral("\n") + QString::fromUtf8(reason);
    }
    form.messageBoxes().inform(&form, QStringLiteral("Clivara 2008"), text);
}

void reportFrozenVolatileFormulas(Form1& form, const clivara::customers::FrozenFormulaMark& mark) {
    if (!form.ArchiveBook) {
        return;
    }
    const std::string warning = clivara::customers::volatileFreezeWarning(*form.ArchiveBook, mark);
    if (!warning.empty()) {
        form.messageBoxes().inform(&form, QStringLiteral("Clivara 2008"),
                                   QString::fromStdString(warning));
    }
}

}  // namespace clivara::operations
