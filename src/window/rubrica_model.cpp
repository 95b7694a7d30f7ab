#include "window/rubrica_model.h"

#include <QBrush>
#include <QMetaObject>
#include <array>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "archive/workbook.h"
#include "register/customer_fields.h"
#include "register/customer_marks.h"
#include "window/field_marks.h"

namespace customers = clivara::customers;
using clivara::archive::Sheet;

namespace {

// Name, ID, town, province, the telephones and the codes first; then what starts hidden.
constexpr std::array<int, RubricaModel::kColumns> kFieldOfColumn = {1,  2, 6, 7, 8,  9, 10,
                                                                    11, 3, 4, 5, 12, 13};

constexpr int kFirstNote = 12;

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

RubricaModel::RubricaModel(SheetSource clienti, QObject* parent)
    : QAbstractTableModel(parent), clienti_(std::move(clienti)) {
    refresh();
}

RubricaModel::~RubricaModel() = default;

int RubricaModel::fieldOfColumn(int column) {
    return column >= 0 && column < kColumns ? kFieldOfColumn[static_cast<std::size_t>(column)] : 0;
}

int RubricaModel::columnOfField(int field) {
    for (int column = 0; column < kColumns; ++column) {
        if (kFieldOfColumn[static_cast<std::size_t>(column)] == field) return column;
    }
    return -1;
}

const Sheet* RubricaModel::current() const {
    return clienti_ ? clienti_() : nullptr;
}

bool RubricaModel::isCurrent() const {
    const Sheet* clienti = current();
    return read_ && clienti != nullptr && clienti->revision() == revision_;
}

void RubricaModel::refresh() {
    refreshPending_ = false;
    const Sheet* clienti = current();
    if (clienti != nullptr && read_ && clienti->revision() == revision_) return;
    beginResetModel();
    failure_.clear();
    rows_.clear();
    ordered_.clear();
    shown_.clear();
    marked_.clear();
    orders_.clear();
    index_ = customers::CustomerSearchIndex();
    read_ = false;
    if (clienti == nullptr) {
        failure_ = QStringLiteral("Manca il foglio \"Clienti\": nessun cliente da mostrare.");
    } else {
        revision_ = clienti->revision();
        read_ = true;
        try {
            rows_ = customers::customerRows(*clienti);
            reorder();
            refilter();
        } catch (const std::bad_alloc&) {
            rows_.clear();
            ordered_.clear();
            shown_.clear();
            failure_ = QStringLiteral("Memoria insufficiente per elencare i clienti.");
        }
    }
    endResetModel();
    Q_EMIT refreshed();
}

void RubricaModel::scheduleRefresh() const {
    if (refreshPending_) return;
    refreshPending_ = true;
    QMetaObject::invokeMethod(const_cast<RubricaModel*>(this), &RubricaModel::refresh,
                              Qt::QueuedConnection);
}

void RubricaModel::reorder() {
    const Sheet* clienti = current();
    if (clienti == nullptr || sortColumn_ < 0) {
        ordered_ = rows_;
        return;
    }
    const int field = fieldOfColumn(sortColumn_);
    auto order = orders_.find(field);
    if (order == orders_.end()) {
        order =
            orders_.emplace(field, customers::ascendingCustomerOrder(*clienti, rows_, field)).first;
    }
    ordered_ = customers::inDirection(order->second, sortOrder_ == Qt::DescendingOrder);
}

bool RubricaModel::ensureIndex(const Sheet& clienti) {
    if (index_.isCurrentFor(clienti)) return true;
    try {
        index_ = customers::CustomerSearchIndex(clienti);
        return true;
    } catch (const std::bad_alloc&) {
        failure_ = QStringLiteral("Memoria insufficiente per cercare fra i clienti.");
    } catch (const std::exception& error) {
        failure_ = QStringLiteral("Ricerca non riuscita: ") + QString::fromUtf8(error.what());
    }
    index_ = customers::CustomerSearchIndex();
    return false;
}

void RubricaModel::prepareSearch() {
    const Sheet* clienti = current();
    if (isCurrent() && !rows_.empty()) ensureIndex(*clienti);
}

void RubricaModel::refilter() {
    shown_.clear();
    const Sheet* clienti = current();
    if (clienti == nullptr || rows_.empty()) return;
    const auto rowsEnd = static_cast<std::size_t>(rows_.back()) + 1;
    std::vector<char> found;
    const bool byWords = !filterText_.trimmed().isEmpty();
    if (byWords) {
        if (!ensureIndex(*clienti)) return;
        found.assign(rowsEnd, 0);
        for (const std::size_t i : index_.find(filterText_.toStdString())) {
            const auto row = static_cast<std::size_t>(index_.row(i));
            if (row < rowsEnd) found[row] = 1;
        }
    }
    if (onlyMarked_ && marked_.empty()) {
        marked_.assign(rowsEnd, 0);
        for (const int row : rows_) {
            marked_[static_cast<std::size_t>(row)] = customers::customerHasMarks(*clienti, row);
        }
    }
    if (!byWords && !onlyMarked_) {
        shown_ = ordered_;
        return;
    }
    for (const int row : ordered_) {
        const auto at = static_cast<std::size_t>(row);
        if ((!byWords || found[at] != 0) && (!onlyMarked_ || marked_[at] != 0)) {
            shown_.push_back(row);
        }
    }
}

void RubricaModel::setFilterText(const QString& text) {
    if (text == filterText_) return;
    filterText_ = text;
    if (!isCurrent()) {
        refresh();
        return;
    }
    beginResetModel();
    refilter();
    endResetModel();
}

void RubricaModel::setOnlyMarked(bool only) {
    if (only == onlyMarked_) return;
    onlyMarked_ = only;
    if (!isCurrent()) {
        refresh();
        return;
    }
    beginResetModel();
    refilter();
    endResetModel();
}

void RubricaModel::sort(int column, Qt::SortOrder order) {
    if (column >= kColumns) column = -1;
    if (column == sortColumn_ && (column < 0 || order == sortOrder_) && isCurrent()) return;
    sortColumn_ = column;
    sortOrder_ = order;
    if (!isCurrent()) {
        refresh();
        return;
    }
    beginResetModel();
    try {
        reorder();
    } catch (const std::bad_alloc&) {
        ordered_ = rows_;
        failure_ = QStringLiteral("Memoria insufficiente per ordinare i clienti.");
    }
    refilter();
    endResetModel();
}

int RubricaModel::sheetRow(int line) const {
    return line >= 0 && static_cast<std::size_t>(line) < shown_.size()
               ? shown_[static_cast<std::size_t>(line)]
               : 0;
}

int RubricaModel::lineOfRow(int row) const {
    for (std::size_t line = 0; line < shown_.size(); ++line) {
        if (shown_[line] == row) return static_cast<int>(line);
    }
    return -1;
}

int RubricaModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int RubricaModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant RubricaModel::data(const QModelIndex& item, int role) const {
    if (!item.isValid() || item.row() >= rowCount() || item.column() >= kColumns) return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole && role != Qt::BackgroundRole &&
        role != Qt::TextAlignmentRole) {
        return {};
    }
    const int field = fieldOfColumn(item.column());
    if (role == Qt::TextAlignmentRole) {
        // As in the main window's fields.
        const bool centred =
            field == customers::kIdColumn || field == 3 || field == customers::kProvinceColumn;
        return QVariant::fromValue(
            Qt::Alignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter));
    }
    // Rows read before a change of the register may hold other customers now: nothing is
    // drawn from them until the lines have been read again.
    // (The sheet is asked for once: this runs for every cell drawn.)
    const Sheet* sheet = current();
    if (!read_ || sheet == nullptr || sheet->revision() != revision_) {
        scheduleRefresh();
        return {};
    }
    const Sheet& clienti = *sheet;
    const int row = shown_[static_cast<std::size_t>(item.row())];
    if (role == Qt::DisplayRole) {
        std::string converted;
        std::string_view text;
        if (const std::optional<std::string_view> stored = clienti.storedText(row, field)) {
            text = *stored;
        } else {
            converted = clienti.text(row, field);
            text = converted;
        }
        QString shown = fromUtf8(text);
        if (field >= kFirstNote) {
            shown.replace(QLatin1String("\r\n"), QLatin1String(" "));
            shown.replace(QLatin1Char('\n'), QLatin1Char(' '));
            shown.replace(QLatin1Char('\r'), QLatin1Char(' '));
        }
        return shown;
    }
    const std::string mark = customers::customerFieldMark(clienti, row, field);
    if (role == Qt::BackgroundRole) {
        return mark.empty() ? QVariant() : QVariant(QBrush(FieldMarks::kMarkColour));
    }
    // The tooltip: the mark's reason, as on the main window's field; a note in full.
    if (!mark.empty()) return QString::fromStdString(mark);
    if (field >= kFirstNote) {
        const QString note = QString::fromStdString(clienti.text(row, field));
        if (note.contains(QLatin1Char('\n')) || note.contains(QLatin1Char('\r'))) return note;
    }
    return {};
}

QVariant RubricaModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= kColumns) {
        return {};
    }
    const int field = fieldOfColumn(section);
    if (field == kFirstNote) return QStringLiteral("Note 1");
    if (field == kFirstNote + 1) return QStringLiteral("Note 2");
    return fromUtf8(customers::fieldCaption(field));
}
