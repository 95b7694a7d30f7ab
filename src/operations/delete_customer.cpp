// "Elimina Cliente": removes the row that carries the identifier shown in "ID".
#include <QLineEdit>
#include <string>

#include "operations/customer_rows.h"
#include "operations/guarded_operation.h"
#include "operations/recovery.h"
#include "operations/undo_change.h"
#include "window/form1.h"
#include "window/message_boxes.h"
#include "window/undo_actions.h"

using clivara::archive::Sheet;
namespace ops = clivara::operations;

void Form1::mnuE_Click() {
    if (!messageBoxes().askYesNo(this, QStringLiteral("Scheda Cliente 2008"),
                                 QStringLiteral("Si voler Eliminare il Cliente Selezionato ?"))) {
        return;
    }
    const QString title = QStringLiteral(" Clivara 2008");

    const int row = ops::rowOfShownId(
        *this, title, QStringLiteral("Nessun cliente con questo ID: nessun cliente eliminato."));
    if (row <= 0) {
        return;
    }

    std::string name;
    if (!ops::guardedChange(*this, [&] {
            Sheet& clienti = ops::requireSheet(*this, "Clienti");
            name = clienti.text(row, 1);
            ops::beginUndoStep(*this, clivara::customers::RegisterChange::Kind::Deletion, row);
            clienti.deleteRow(row);
            ops::recordChange(*this, clivara::customers::RegisterChange::Kind::Deletion, row);
            ops::commitUndoStep(*this, clivara::customers::RegisterChange::Kind::Deletion, row);
        })) {
        return;
    }
    // The report keeps its fixed spacing: four spaces before the name, five after it, and
    // " Eliminato" with its own leading space.
    messageBoxes().inform(this, title,
                          QStringLiteral("Cliente    ") + QString::fromStdString(name) +
                              QStringLiteral("     ") + QStringLiteral(" Eliminato"));
    FillCustomerList();
    ops::guardedRead(*this, [&] { ReloadCustomerList(); });
    updateUndoActions(*this);
    Text1->setFocus();
}
