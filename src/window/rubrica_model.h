#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

#include "register/customer_search.h"
#include "register/customer_table_order.h"

namespace clivara::archive {
class Sheet;
}

// Every customer of "Clienti" as one line of the "Rubrica" table, read from the sheet itself
// (a view over the register, not a copy): the lines are the customers' sheet rows, the
// texts are read from the cells when drawn. Over those rows it keeps a filter (the words of
// the register's search, and optionally only the customers with marked data) and an order
// by one column (the archive's collation; the sheet's own order is never changed).
//
// After every change of the register, refresh() reads the customers again and keeps filter
// and order; it is the one entry point for whatever changes the register. Until then (a
// change that has not said so) the model draws nothing from rows that may no longer hold the
// same customers, and refreshes itself as soon as the event loop runs.
class RubricaModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    // The sheet as it is now (nullptr when the archive has none): asked anew each time, as a
    // sheet's handle does not outlive a rollback or a reload of the workbook.
    using SheetSource = std::function<const clivara::archive::Sheet*()>;
    explicit RubricaModel(SheetSource clienti, QObject* parent = nullptr);
    ~RubricaModel() override;

    // The table's columns, left to right: the field (1 .. 13) each shows.
    static int fieldOfColumn(int column);
    static int columnOfField(int field);
    static constexpr int kColumns = 13;
    static constexpr int kShownAtFirst = 8;  // the columns after these start hidden

    // Reads the customers again when the sheet has changed since; keeps filter and order.
    void refresh();
    // True while the lines stand for the sheet as it is.
    bool isCurrent() const;
    // Builds the search's index now if a filter would need it (an idle moment after opening
    // or after a change), so that the first keystroke does not wait for it.
    void prepareSearch();

    void setFilterText(const QString& text);
    QString filterText() const { return filterText_; }
    void setOnlyMarked(bool only);
    bool onlyMarked() const { return onlyMarked_; }
    // A column of the table, or -1 for the sheet's order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return sortColumn_; }

    // The sheet row of a line, and the line of a sheet row (-1 when not shown).
    int sheetRow(int line) const;
    int lineOfRow(int row) const;
    const std::vector<int>& shownRows() const { return shown_; }
    std::size_t customerCount() const { return rows_.size(); }
    // Why the customers could not be listed or searched, if so (Italian).
    QString failure() const { return failure_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& item, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

  Q_SIGNALS:
    // After a refresh, before anything else reads the lines again.
    void refreshed();

  private:
    const clivara::archive::Sheet* current() const;
    void reorder();
    void refilter();
    bool ensureIndex(const clivara::archive::Sheet& clienti);
    void scheduleRefresh() const;

    SheetSource clienti_;
    std::uint64_t revision_ = 0;
    bool read_ = false;
    std::vector<int> rows_;     // every customer's row, sheet order
    std::vector<int> ordered_;  // the same rows in the chosen order
    std::vector<int> shown_;    // the ordered rows that pass the filter
    std::vector<char> marked_;  // by sheet row: 1 marked, 0 not; empty until asked
    // The ascending order by each field ordered by so far, for the rows as read: another
    // click on the heading, or a click back on it, only reads it.
    std::map<int, clivara::customers::CustomerOrder> orders_;
    clivara::customers::CustomerSearchIndex index_;
    QString filterText_;
    bool onlyMarked_ = false;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
    QString failure_;
    mutable bool refreshPending_ = false;
};
