#pragma once

#include <QAbstractListModel>
#include <QString>
#include <QStringList>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Texts laid end to end in one UTF-8 block, with the end of each one: tens of thousands of
// names cost two allocations instead of one per name.
class NameBlock {
  public:
    void append(std::string_view text);
    void clear();
    int size() const { return static_cast<int>(ends_.size()); }
    bool empty() const { return ends_.empty(); }
    std::string_view at(int index) const;

    // Edits in the middle (rare: the list is rebuilt as a whole); each moves what follows.
    void insertEmpty(int index, int count);
    void erase(int index, int count);
    void replace(int index, std::string_view text);

  private:
    std::size_t begin(int index) const { return index == 0 ? 0 : ends_[index - 1]; }
    std::string text_;
    std::vector<std::size_t> ends_;
};

// The entries of the customer box: a list model over one block of names. The box reads only
// the rows it shows, so filling it with the whole of column A is one copy of the names and a
// single insertion, not one item per name.
class CustomerNameModel : public QAbstractListModel {
    Q_OBJECT

  public:
    explicit CustomerNameModel(QObject* parent = nullptr);

    // Appends the entries in one insertion (nothing is signalled for an empty batch).
    void append(const NameBlock& names);
    // An empty block to fill and then append(): the model keeps it between fills, so that a
    // rebuild of the whole list reuses the memory of the one before.
    NameBlock& batch();
    void append(const QStringList& names);
    // Empties the list in one reset.
    void clear();

    std::string_view utf8Text(int row) const { return names_.at(row); }
    // How many entries before `row` carry the same text as `row`.
    int occurrencesBefore(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Editing through the box's own item calls (insertItem, setItemText, removeItem, clear).
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool insertRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

  private:
    NameBlock names_;
    NameBlock batch_;
};
