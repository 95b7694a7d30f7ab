// Going back to an earlier state of the workbook after a failed change. The checkpoint keeps
// its own copy of the sheets and the globals, but not of the shared string table: strings are
// only ever appended, so the table is cut back to the length it had.
#include "archive/model/workbook_data.h"
#include "archive/workbook.h"

namespace clivara::archive {

Workbook::Checkpoint::Checkpoint(std::unique_ptr<WorkbookData> data, std::uint32_t strings)
    : data_(std::move(data)), strings_(strings) {}
Workbook::Checkpoint::Checkpoint(Checkpoint&&) noexcept = default;
Workbook::Checkpoint& Workbook::Checkpoint::operator=(Checkpoint&&) noexcept = default;
Workbook::Checkpoint::~Checkpoint() = default;

Workbook::Checkpoint Workbook::checkpoint() const {
    auto saved = std::make_unique<WorkbookData>(*data_);
    // Holding the table here would make the next added string copy it whole.
    saved->strings.reset();
    return Checkpoint(std::move(saved), data_->strings->size());
}

void Workbook::rollback(Checkpoint&& checkpoint) {
    std::shared_ptr<SharedStrings> strings = data_->strings;
    data_ = std::move(checkpoint.data_);
    data_->strings = std::move(strings);
    if (data_->strings->size() > checkpoint.strings_) {
        data_->mutableStrings().truncate(checkpoint.strings_);
    }
    bindSheets();
}

}  // namespace clivara::archive
