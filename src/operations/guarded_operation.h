#pragma once

#include <QString>
#include <exception>
#include <optional>
#include <utility>

#include "archive/workbook.h"
#include "window/form1.h"
#include "window/message_boxes.h"

namespace clivara::operations {

// Shows a failure of an operation in a message box; the program goes on.
void reportOperationFailure(Form1& form, const char* reason);

// Runs an operation that may change the open archive. A checkpoint of the workbook and the
// active sheet are taken first; when the operation throws, both are put back as they were and the
// failure is shown in a message box, so that no failure ends the program or leaves half a change.
// Returns true when the operation ran to its end.
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
    try {
        // Taking the checkpoint copies the sheets and may fail too: then nothing has changed.
        if (form.ArchiveBook) {
            checkpoint.emplace(form.ArchiveBook->checkpoint());
        }
        std::forward<Operation>(operation)();
        return true;
    } catch (const std::exception& error) {
        goBack();
        reportOperationFailure(form, error.what());
    } catch (...) {
        goBack();
        reportOperationFailure(form, nullptr);
    }
    return false;
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
