#include "window/customer_search_window.h"

#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "window/form1.h"
#include "window/search_window_place.h"

using clivara::customers::CustomerSearchIndex;

// The matches as the list shows them: one line per customer, its texts taken from the index
// (so they always belong to the rows the index was built from), converted only when drawn.
class SearchResultsModel : public QAbstractTableModel {
  public:
    explicit SearchResultsModel(const CustomerSearchIndex& index) : index_(index) {}

    void setMatches(std::vector<std::size_t> matches) {
        beginResetModel();
        matches_ = std::move(matches);
        endResetModel();
    }
    // Around a rebuild of the index: the list is empty until the next search.
    void clear() { setMatches({}); }
    std::size_t customerAt(int line) const { return matches_.at(static_cast<std::size_t>(line)); }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(matches_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : 4;
    }
    QVariant data(const QModelIndex& item, int role) const override {
        if (role != Qt::DisplayRole || !item.isValid() || item.row() >= rowCount()) return {};
        const std::string_view text =
            index_.shown(customerAt(item.row()), static_cast<Shown>(item.column()));
        return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
        switch (section) {
            case 0:
                return QStringLiteral("Ragione Sociale");
            case 1:
                return QStringLiteral("Località");
            case 2:
                return QStringLiteral("ID");
            case 3:
                return QStringLiteral("Codice Fiscale / Partita IVA");
            default:
                return {};
        }
    }

  private:
    using Shown = CustomerSearchIndex::Shown;
    const CustomerSearchIndex& index_;
    std::vector<std::size_t> matches_;
};

namespace {

// The smallest the window is made to stand beside the fields: the line, a few results, the count.
const QSize kSmallest(340, 220);

QString countText(std::size_t count) {
    if (count == 0) return QStringLiteral("Nessun cliente trovato");
    if (count == 1) return QStringLiteral("1 cliente trovato");
    return QStringLiteral("%1 clienti trovati").arg(count);
}

bool movesInList(int key) {
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
           key == Qt::Key_PageDown;
}

}  // namespace

CustomerSearchWindow::CustomerSearchWindow(Form1& form)
    : QDialog(&form), form_(form), model_(std::make_unique<SearchResultsModel>(index_)) {
    setObjectName(QStringLiteral("CustomerSearchWindow"));
    setWindowTitle(QStringLiteral("Cerca Cliente"));
    setModal(false);

    query_ = new QLineEdit(this);
    query_->setObjectName(QStringLiteral("searchText"));
    query_->setPlaceholderText(
        QStringLiteral("Nome, località, telefono, codice fiscale, partita IVA..."));
    query_->installEventFilter(this);

    results_ = new QTreeView(this);
    results_->setObjectName(QStringLiteral("searchResults"));
    results_->setModel(model_.get());
    results_->setRootIsDecorated(false);
    results_->setItemsExpandable(false);
    results_->setUniformRowHeights(true);  // never measure every line of a long list
    results_->setAllColumnsShowFocus(true);
    results_->setSelectionBehavior(QAbstractItemView::SelectRows);
    results_->setSelectionMode(QAbstractItemView::SingleSelection);
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results_->header()->setSectionsMovable(false);
    results_->setColumnWidth(0, 230);
    results_->setColumnWidth(1, 130);
    results_->setColumnWidth(2, 60);
    results_->installEventFilter(this);

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("searchCount"));
    count_->setTextFormat(Qt::PlainText);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(query_);
    layout->addWidget(results_, 1);
    layout->addWidget(count_);
    resize(620, 380);

    connect(query_, &QLineEdit::textChanged, this, [this] {
        refreshIndex();
        showMatches();
    });
    connect(results_, &QAbstractItemView::doubleClicked, this, [this] { loadChosen(); });
}

CustomerSearchWindow::~CustomerSearchWindow() = default;

// The first time it opens, the window stands beside the form rather than over the fields it
// fills, where the screen leaves room for it (searchWindowPlace says where).
void CustomerSearchWindow::placeBesideForm() {
    const QScreen* screen = form_.screen();
    if (screen == nullptr) return;
    // Its own frame is not known before it is shown: it will be like the form's, and at least
    // a common title bar and border.
    const QRect formFrame = form_.frameGeometry();
    const QRect formInside = form_.geometry();
    const QMargins frame(std::max(formInside.left() - formFrame.left(), 4),
                         std::max(formInside.top() - formFrame.top(), 28),
                         std::max(formFrame.right() - formInside.right(), 4),
                         std::max(formFrame.bottom() - formInside.bottom(), 4));
    std::vector<QRect> fields;
    for (int n = 1; n <= 13; ++n) {
        if (const QWidget* field = form_.control(QStringLiteral("text") + QString::number(n))) {
            fields.emplace_back(field->mapToGlobal(QPoint(0, 0)), field->size());
        }
    }
    const QSize extra(frame.left() + frame.right(), frame.top() + frame.bottom());
    const QRect place = searchWindowPlace(screen->availableGeometry(), formFrame, fields,
                                          size() + extra, kSmallest + extra);
    resize(place.size() - extra);
    move(place.topLeft());
}

void CustomerSearchWindow::present() {
    if (!placed_) {
        placeBesideForm();
        placed_ = true;
    }
    show();
    raise();
    activateWindow();
    query_->setFocus();
    query_->selectAll();
    if (refreshIndex()) showMatches();
}

std::vector<int> CustomerSearchWindow::listedRows() const {
    std::vector<int> rows;
    for (int line = 0; line < model_->rowCount(); ++line) {
        rows.push_back(index_.row(model_->customerAt(line)));
    }
    return rows;
}

bool CustomerSearchWindow::refreshIndex() {
    const clivara::archive::Sheet* clienti =
        form_.ArchiveBook ? form_.ArchiveBook->sheet("Clienti") : nullptr;
    if (clienti != nullptr && index_.isCurrentFor(*clienti)) return false;
    model_->clear();
    index_ = CustomerSearchIndex();
    failure_.clear();
    if (clienti == nullptr) {
        failure_ = QStringLiteral("Manca il foglio \"Clienti\": nessun cliente da cercare.");
        return true;
    }
    try {
        index_ = CustomerSearchIndex(*clienti);
    } catch (const std::bad_alloc&) {
        failure_ = QStringLiteral("Memoria insufficiente per cercare fra i clienti.");
    } catch (const std::exception& error) {
        failure_ = QStringLiteral("Ricerca non riuscita: ") + QString::fromUtf8(error.what());
    }
    return true;
}

void CustomerSearchWindow::showMatches() {
    const QString query = query_->text();
    std::vector<std::size_t> found;
    if (failure_.isEmpty()) found = index_.find(query.toStdString());
    const std::size_t count = found.size();
    model_->setMatches(std::move(found));
    if (count > 0) results_->setCurrentIndex(model_->index(0, 0));
    if (!failure_.isEmpty()) {
        count_->setText(failure_);
    } else {
        count_->setText(query.trimmed().isEmpty() ? QString() : countText(count));
    }
}

void CustomerSearchWindow::loadChosen() {
    // A list made before the register changed would load whatever now stands in its rows:
    // it is shown anew, and the user chooses again.
    if (refreshIndex()) {
        showMatches();
        return;
    }
    const QModelIndex current = results_->currentIndex();
    if (!current.isValid()) return;
    form_.loadCustomerRow(index_.row(model_->customerAt(current.row())));
}

bool CustomerSearchWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == query_ || watched == results_)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            loadChosen();
            return true;
        }
        // The arrows move in the list while the typing goes on in the line.
        if (watched == query_ && movesInList(key->key())) {
            QCoreApplication::sendEvent(results_, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool CustomerSearchWindow::event(QEvent* event) {
    // Back from the main window, where the register may have changed.
    if (event->type() == QEvent::WindowActivate && isVisible() && refreshIndex()) {
        showMatches();
    }
    return QDialog::event(event);
}

void Form1::mnuCerca_Click() {
    auto* window = findChild<CustomerSearchWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (window == nullptr) window = new CustomerSearchWindow(*this);
    window->present();
}
