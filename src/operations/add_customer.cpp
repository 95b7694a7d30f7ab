// "Aggiungi Cliente": stores the thirteen fields as a new customer row under the next
// identifier of the counter.
#include <QComboBox>
#include <QLineEdit>
#include <string>

#include "operations/customer_rows.h"
#include "operations/duplicate_question.h"
#include "operations/guarded_operation.h"
#include "operations/recovery.h"
#include "operations/undo_change.h"
#include "window/form1.h"
#include "window/message_boxes.h"
#include "window/undo_actions.h"

using clivara::archive::Sheet;
namespace ops = clivara::operations;

// The checks run in this order, each before anything changes: the fields (an empty company
// name, a text too long for a cell) before the question, so the user can put them right
// without answering; the counter and a free row after Yes, before the new identifier is
// shown in "ID", so a refusal leaves that field, the counter and the sheet as they were.
void Form1::mnuA_Click() {
    const QString title = QStringLiteral("Clivara 2008");
    if (!ops::customerFieldsStorable(*this)) {
        return;
    }
    // A customer that seems the same one: warned of, with No as the answer that changes nothing.
    if (!ops::duplicateAccepted(*this, ops::StoredAs::Addition)) {
        return;
    }
    if (!messageBoxes().askYesNo(this, title, QStringLiteral(" Vuoi Inserire questo Cliente ?"))) {
        return;
    }

    enum class Outcome { Added, Full, Failed } outcome = Outcome::Failed;
    const QString idBefore = fieldText(2);
    ops::guardedChange(*this, [&] {
        Sheet& codici = ops::requireSheet(*this, "Codici");
        Sheet& clienti = ops::requireSheet(*this, "Clienti");
        const double nextId = ops::counterValue(codici) + 1;
        const int row = ops::firstFreeCustomerRow(clienti);
        if (row == 0) {
            outcome = Outcome::Full;
            return;
        }
        ops::beginUndoStep(*this, clivara::customers::RegisterChange::Kind::Addition, row);
        setFieldText(2, QString::fromStdString(ops::counterText(nextId)));
        for (int column = 1; column <= 13; ++column) {
            clivara::customers::setNewCustomerCell(clienti, row, column,
                                                   fieldText(column).toStdString());
        }
        codici.setText(2, 1, fieldText(2).toStdString());
        SortArchive();
        ops::recordChange(*this, clivara::customers::RegisterChange::Kind::Addition, row);
        ops::commitUndoStep(*this, clivara::customers::RegisterChange::Kind::Addition, row);
        outcome = Outcome::Added;
    });
    if (outcome == Outcome::Full) {
        messageBoxes().inform(
            this, title, QStringLiteral("Archivio pieno: impossibile aggiungere altri clienti."));
        return;
    }
    if (outcome != Outcome::Added) {
        setFieldText(2, idBefore);  // the workbook is back as it was: so is the "ID" field
        return;
    }

    FillCustomerList();
    messageBoxes().inform(this, QStringLiteral(" Clivara 2008"),
                          QStringLiteral("Cliente Aggiunto"));
    ops::guardedRead(*this, [&] { ReloadCustomerList(); });
    updateUndoActions(*this);
    Text1->setFocus();
}
