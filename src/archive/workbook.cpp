#include "archive/workbook.h"

#include "archive/workbook_data.h"

namespace clivara::archive {

namespace {
[[noreturn]] void notYet() {
    throw std::logic_error("workbook: not implemented yet");
}
}  // namespace

const Cell* SheetData::find(int, int) const {
    notYet();
}
Cell* SheetData::find(int, int) {
    notYet();
}
Row& SheetData::rowForWrite(int) {
    notYet();
}
SharedStrings& WorkbookData::mutableStrings() {
    notYet();
}

const std::string& Sheet::name() const {
    return data_->name;
}
CellKind Sheet::kind(int, int) const {
    notYet();
}
std::string Sheet::text(int, int) const {
    notYet();
}
bool Sheet::isEmpty(int, int) const {
    notYet();
}
void Sheet::setText(int, int, std::string_view) {
    notYet();
}
int Sheet::endDown(int, int) const {
    notYet();
}
int Sheet::lastUsedRow() const {
    notYet();
}
void Sheet::deleteRow(int) {
    notYet();
}
void Sheet::permuteRows(int, int, int, std::span<const int>) {
    notYet();
}

Workbook Workbook::open(const std::filesystem::path&) {
    notYet();
}
Workbook Workbook::fromBytes(std::span<const std::uint8_t>, const std::string&) {
    notYet();
}

Workbook::Workbook(std::unique_ptr<WorkbookData> data) : data_(std::move(data)) {
    bindSheets();
}
Workbook::Workbook(const Workbook& other) : data_(std::make_unique<WorkbookData>(*other.data_)) {
    bindSheets();
}
Workbook& Workbook::operator=(const Workbook& other) {
    if (this != &other) {
        data_ = std::make_unique<WorkbookData>(*other.data_);
        bindSheets();
    }
    return *this;
}
Workbook::Workbook(Workbook&&) noexcept = default;
Workbook& Workbook::operator=(Workbook&&) noexcept = default;
Workbook::~Workbook() = default;

void Workbook::bindSheets() {
    sheets_.clear();
    for (auto& sheetData : data_->sheets) {
        sheetData.book = data_.get();
        sheets_.push_back(Sheet(&sheetData));
    }
}

std::size_t Workbook::sheetCount() const {
    return sheets_.size();
}
Sheet& Workbook::sheetAt(std::size_t index) {
    return sheets_.at(index);
}
const Sheet& Workbook::sheetAt(std::size_t index) const {
    return sheets_.at(index);
}
Sheet* Workbook::sheet(std::string_view) {
    notYet();
}
const Sheet* Workbook::sheet(std::string_view) const {
    notYet();
}
bool Workbook::uses1904DateSystem() const {
    return data_->dateSystem1904;
}
std::vector<std::uint8_t> Workbook::toBytes() const {
    notYet();
}
void Workbook::save(const std::filesystem::path&) const {
    notYet();
}

}  // namespace clivara::archive
