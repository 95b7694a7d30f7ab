#include "window/field_marks.h"

#include <QLineEdit>
#include <string>

#include "register/customer_fields.h"
#include "register/field_hint.h"
#include "window/form1.h"

namespace customers = clivara::customers;

const QColor FieldMarks::kMarkColour = QColor(255, 222, 222);

FieldMarks::FieldMarks(Form1& form) : QObject(&form), form_(form) {
    for (int field = 1; field <= customers::kFieldCount; ++field) {
        QLineEdit* line = edit(field);
        if (line == nullptr || !customers::hasFieldCheck(field)) {
            continue;
        }
        unmarked_[field] = line->palette();
        // The text is read when the mark is renewed, not taken from the signal: a field's
        // own change rule (the capitals of "Codice Fiscale") may have changed it since.
        connect(line, &QLineEdit::textChanged, this, [this, field] {
            renew(field);
            if (field == customers::kProvinceColumn) {
                renew(customers::kPostcodeColumn);  // abroad, any postcode will do
            }
        });
        renew(field);
    }
}

QLineEdit* FieldMarks::edit(int field) const {
    return qobject_cast<QLineEdit*>(form_.control(QStringLiteral("Text%1").arg(field)));
}

void FieldMarks::renew(int field) {
    QLineEdit* line = edit(field);
    const std::string hint =
        customers::fieldHint(field, form_.fieldText(field).toStdString(),
                             form_.fieldText(customers::kProvinceColumn).toStdString());
    const QString reason = QString::fromStdString(hint);
    if (line->toolTip() == reason) {
        return;  // the same mark, or none as before
    }
    QPalette palette = unmarked_[field];
    if (!reason.isEmpty()) {
        palette.setColor(QPalette::Base, kMarkColour);
    }
    line->setPalette(palette);
    line->setToolTip(reason);
    line->setAccessibleDescription(reason);
}
