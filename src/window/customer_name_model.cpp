#include "window/customer_name_model.h"

#include <QByteArray>
#include <algorithm>
#include <iterator>
#include <utility>

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void NameBlock::append(std::string_view text) {
    text_.append(text);
    ends_.push_back(text_.size());
}

void NameBlock::clear() {
    // The capacity stays: the next fill of the list usually needs as much again.
    text_.clear();
    ends_.clear();
}

std::string_view NameBlock::at(int index) const {
    const std::size_t from = begin(index);
    return std::string_view(text_).substr(from, ends_[static_cast<std::size_t>(index)] - from);
}

void NameBlock::insertEmpty(int index, int count) {
    const std::size_t at = begin(index);
    ends_.insert(ends_.begin() + index, static_cast<std::size_t>(count), at);
}

void NameBlock::erase(int index, int count) {
    const std::size_t from = begin(index);
    const std::size_t to = ends_[static_cast<std::size_t>(index + count - 1)];
    text_.erase(from, to - from);
    ends_.erase(ends_.begin() + index, ends_.begin() + index + count);
    for (auto it = ends_.begin() + index; it != ends_.end(); ++it) {
        *it -= to - from;
    }
}

void NameBlock::replace(int index, std::string_view text) {
    const std::size_t from = begin(index);
    const std::size_t oldEnd = ends_[static_cast<std::size_t>(index)];
    text_.replace(from, oldEnd - from, text);
    const std::size_t newEnd = from + text.size();
    for (auto it = ends_.begin() + index; it != ends_.end(); ++it) {
        *it = *it - oldEnd + newEnd;
    }
}

CustomerNameModel::CustomerNameModel(QObject* parent) : QAbstractListModel(parent) {}

void CustomerNameModel::append(const NameBlock& names) {
    if (names.empty()) {
        return;
    }
    const int first = names_.size();
    beginInsertRows(QModelIndex(), first, first + names.size() - 1);
    if (first == 0 && &names == &batch_) {
        std::swap(names_, batch_);  // the two blocks trade places: nothing is copied
    } else if (first == 0) {
        names_ = names;
    } else {
        for (int i = 0; i < names.size(); ++i) {
            names_.append(names.at(i));
        }
    }
    endInsertRows();
}

NameBlock& CustomerNameModel::batch() {
    batch_.clear();
    return batch_;
}

void CustomerNameModel::append(const QStringList& names) {
    NameBlock block;
    for (const QString& name : names) {
        const QByteArray utf8 = name.toUtf8();
        block.append(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    }
    append(block);
}

void CustomerNameModel::clear() {
    beginResetModel();
    names_.clear();
    endResetModel();
}

int CustomerNameModel::occurrencesBefore(int row) const {
    const std::string_view wanted = names_.at(row);
    int count = 0;
    for (int i = 0; i < row; ++i) {
        if (names_.at(i) == wanted) {
            ++count;
        }
    }
    return count;
}

int CustomerNameModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : names_.size();
}

QVariant CustomerNameModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= names_.size() ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return QVariant();
    }
    return fromUtf8(names_.at(index.row()));
}

Qt::ItemFlags CustomerNameModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

bool CustomerNameModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= names_.size() ||
        (role != Qt::DisplayRole && role != Qt::EditRole)) {
        return false;
    }
    const QByteArray utf8 = value.toString().toUtf8();
    names_.replace(index.row(),
                   std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    Q_EMIT dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

bool CustomerNameModel::insertRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || row > names_.size() || count <= 0) {
        return false;
    }
    beginInsertRows(QModelIndex(), row, row + count - 1);
    names_.insertEmpty(row, count);
    endInsertRows();
    return true;
}

bool CustomerNameModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count <= 0 || row + count > names_.size()) {
        return false;
    }
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    names_.erase(row, count);
    endRemoveRows();
    return true;
}
