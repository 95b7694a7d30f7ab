// The customer list: the walk down column A that fills Combo1, the three fills built on it,
// and the loading of a chosen customer into the thirteen fields.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QStringList>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

#include "archive/workbook.h"
#include "operations/customer_rows.h"
#include "operations/guarded_operation.h"
#include "window/customer_name_model.h"
#include "window/form1.h"

using clivara::archive::Sheet;
using clivara::operations::guardedRead;
using clivara::operations::requireSheet;

namespace {

constexpr int kNameColumn = 1;
constexpr int kFieldCount = 13;

Sheet& selectClienti(Form1& form) {
    Sheet& clienti = requireSheet(form, "Clienti");
    form.activeSheet = QStringLiteral("Clienti");
    return clienti;
}

// Runs one step of a procedure that ignores its errors.
template <class Step>
void ignoringErrors(Step&& step) {
    try {
        step();
    } catch (const std::exception&) {
        // ignored: the procedure goes on with its next step
    }
}

// Field i receives the cell of column i, converted to text; an empty cell blanks its field.
// Each field runs its own rule for changes (the tax code's upper case).
void putRowIntoFields(Form1& form, const Sheet& clienti, int row) {
    for (int field = 1; field <= kFieldCount; ++field) {
        form.setFieldText(field, QString::fromStdString(clienti.text(row, field)));
    }
}

// The text of a row's name cell. A cell reads as empty exactly when its text is empty. Text
// cells are read in place, without a copy of each name; other cells are converted into
// `converted`.
std::string_view nameAt(const Sheet& sheet, int row, std::string& converted) {
    if (const std::optional<std::string_view> stored = sheet.storedText(row, kNameColumn)) {
        return *stored;
    }
    converted = sheet.text(row, kNameColumn);
    return converted;
}

}  // namespace

bool Form1::AddCustomerNames(int firstRow, bool stopAtEmpty) {
    const Sheet& sheet = requireSheet(*this, activeSheet.toStdString());
    // The names are appended in one batch at the end, also when the walk stops early, so the
    // list ends as it would with one AddItem per name.
    std::string converted;
    // The usual case: a run of at least two filled cells from firstRow, which is where the
    // walk of End(xlDown) ends too; one pass reads and collects it.
    if (firstRow >= 1 && firstRow < Sheet::kLastRow) {
        NameBlock& run = comboEntries().batch();
        int row = firstRow;
        for (; row <= Sheet::kLastRow; ++row) {
            sheet.readAhead(row, kNameColumn);
            const std::string_view name = nameAt(sheet, row, converted);
            if (name.empty()) {
                break;
            }
            run.append(name);
        }
        if (row - firstRow >= 2) {
            comboAddItems(run);
            return true;
        }
    }
    const int lastRow = sheet.endDown(firstRow, kNameColumn);
    NameBlock& names = comboEntries().batch();
    bool completed = true;
    for (int row = firstRow; row <= lastRow; ++row) {
        sheet.readAhead(row, kNameColumn);
        const std::string_view name = nameAt(sheet, row, converted);
        if (name.empty()) {
            if (stopAtEmpty) {
                completed = false;
                break;
            }
            continue;
        }
        names.append(name);
    }
    comboAddItems(names);
    return completed;
}

void Form1::ReloadCustomerList() {
    comboClear();
    selectClienti(*this);
    AddCustomerNames(1, false);
}

void Form1::FillCustomerList() {
    // Every step ignores its failure and the next one runs.
    const QList<QWidget*> all = controls();
    for (QWidget* widget : all) {
        if (qobject_cast<QLabel*>(widget) != nullptr) {
            continue;  // labels carry captions, not texts
        }
        ignoringErrors([&] { setControlText(widget, QString()); });
    }
    ignoringErrors([&] { selectClienti(*this); });
    ignoringErrors([&] { AddCustomerNames(1, false); });
    Text1->setFocus();
}

void Form1::Combo1_Change() {
    guardedRead(*this, [&] {
        comboClear();
        selectClienti(*this);
        AddCustomerNames(1, true);
    });
}

void Form1::Combo1_Click(int chosenIndex) {
    guardedRead(*this, [&] {
        const QString chosen = comboText();
        const std::string wanted = chosen.toStdString();
        // The k-th of several equal entries stands for the k-th row carrying that name.
        int occurrence = 0;
        if (chosenIndex >= 0 && chosenIndex < Combo1->count() &&
            comboEntries().utf8Text(chosenIndex) == wanted) {
            occurrence = comboEntries().occurrencesBefore(chosenIndex);
        }
        const Sheet& clienti = requireSheet(*this, "Clienti");
        const int lastRow = clienti.endDown(1, kNameColumn);
        std::string converted;
        for (int row = 1; row <= lastRow; ++row) {
            clienti.readAhead(row, kNameColumn);
            // An empty choice matches the empty cells (a cell is empty when its text is).
            if (nameAt(clienti, row, converted) != wanted) {
                continue;
            }
            if (occurrence > 0) {
                --occurrence;
                continue;
            }
            setComboText(QString::fromStdString(clienti.text(row, kNameColumn)));
            putRowIntoFields(*this, clienti, row);
            return;
        }
    });
}

void Form1::loadCustomerRow(int row) {
    guardedRead(*this, [&] { putRowIntoFields(*this, requireSheet(*this, "Clienti"), row); });
}
