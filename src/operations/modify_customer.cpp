// "Modifica Cliente": writes the thirteen fields over the row that carries the identifier
// shown in "ID".
#include <QLineEdit>
#include <array>
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

// The fields are checked before the question (an empty company name, a text too long for a
// cell); the row is looked for after Yes. When no row carries the identifier nothing is
// written and the fields keep what the user typed.
void Form1::mnuM_Click() {
    const QString title = QStringLiteral("Clivara 2008");
    if (!ops::customerFieldsStorable(*this)) {
        return;
    }
    // Another customer that seems the same one: warned of, with No as the default answer.
    if (!ops::duplicateAccepted(*this, ops::StoredAs::Modification)) {
        return;
    }
    if (!messageBoxes().askYesNo(this, title,
                                 QStringLiteral("Si voler Modificare il Cliente Selezionato ?"))) {
        return;
    }

    const int row = ops::rowOfShownId(
        *this, title, QStringLiteral("Nessun cliente con questo ID: nessuna modifica eseguita."));
    if (row <= 0) {
        return;
    }

    const bool done = ops::guardedChange(*this, [&] {
        Sheet& clienti = ops::requireSheet(*this, "Clienti");
        ops::beginUndoStep(*this, clivara::customers::RegisterChange::Kind::Modification, row);
        // The identifier cell first, then the name, then C to M.
        static constexpr std::array<int, 13> kWriteOrder = {2, 1, 3,  4,  5,  6, 7,
                                                            8, 9, 10, 11, 12, 13};
        for (const int column : kWriteOrder) {
            clienti.setText(row, column, fieldText(column).toStdString());
        }
        // On disk before the report; the journal's replay sorts as the next line does.
        ops::recordChange(*this, clivara::customers::RegisterChange::Kind::Modification, row);
        messageBoxes().inform(this, title, QStringLiteral("Cliente Modificato"));
        SortArchive();
        ops::commitUndoStep(*this, clivara::customers::RegisterChange::Kind::Modification, row);
    });
    if (!done) {
        ops::recordTakenBack(*this);
        return;
    }
    FillCustomerList();
    ops::guardedRead(*this, [&] { ReloadCustomerList(); });
    updateUndoActions(*this);
    Text1->setFocus();
}
