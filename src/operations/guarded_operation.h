#pragma once

#include <QString>
#include <exception>
#include <optional>
#include <utility>

#include "archive/workbook.h"
#include "register/frozen_formulas.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace clivara::operations {

// Shows a failure of an operation in a message box; the program goes on.
void reportOperationFailure(Form1& form, const char* reason);

// Tells the user of the formulas calling TODAY, NOW and the like that the operation had to
// replace by their values since the mark: those no longer update themselves.
void reportFrozenVolatileFormulas(Form1& form, const clivara::customers::FrozenFormulaMark& mark);

// Runs an operation that may change the open archive. A checkpoint of the workbook and the
// active sheet are taken first; when the operation throws, both are put back as they were and the
// failure is shown in a message box, so that no failure ends the program or leaves half a change.
// Formulas calling TODAY, NOW and the like that the change had to replace by their values are
// named in a message box. Either way the window says that the register may have changed, so
// that the views over it read it again. Returns true when the operation ran to its end.
template <class Operation>
bool guardedChange(Form1& form, Operation&& operation) {
    std::optional<clivara::archive::Workbook::Checkpoint> checkpoint;
    const QString sheetBefore = form.activeSheet;
    const auto goBack = [&form, &checkpoint, &sheetBefore] {
        if (form.ArchiveBook && checkpoint) {
            form.ArchiveBook->rollback(std::move(*checkpoint));
        }
        form.activeSheet = sheetBefore;
    };
    clivara::customers::FrozenFormulaMark frozen;
    try {
        // Taking the checkpoint copies the sheets and may fail too: then nothing has changed.
        if (form.ArchiveBook) {
            checkpoint.emplace(form.ArchiveBook->checkpoint());
            frozen = clivara::customers::markFrozenFormulas(*form.ArchiveBook);
        }
        std::forward<Operation>(operation)();
    } catch (const std::exception& error) {
        goBack();
        Q_EMIT form.registerChanged();
        reportOperationFailure(form, error.what());
        return false;
    } catch (...) {
        goBack();
        Q_EMIT form.registerChanged();
        reportOperationFailure(form, nullptr);
        return false;
    }
    Q_EMIT form.registerChanged();
    reportFrozenVolatileFormulas(form, frozen);
    return true;
}

// Runs an operation that only reads the archive: a failure is shown in a message box and the
// program goes on. No copy of the workbook is needed, as nothing in it changes.
template <class Operation>
bool guardedRead(Form1& form, Operation&& operation) {
    try {
        std::forward<Operation>(operation)();
        return true;
    } catch (const std::exception& error) {
        reportOperationFailure(form, error.what());
    } catch (...) {
        reportOperationFailure(form, nullptr);
    }
    return false;
}

}  // namespace clivara::operations
