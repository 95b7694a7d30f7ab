#include "window/rubrica_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <string>

#include "archive/workbook.h"
#include "register/customer_fields.h"
#include "window/form1.h"
#include "window/message_boxes.h"
#include "window/rubrica_cell_delegate.h"
#include "window/rubrica_model.h"

namespace customers = clivara::customers;
using customers::ExportFormat;

namespace {

const QString kBoxTitle = QStringLiteral("Clivara 2008");

// Widths in pixels of the columns, in the model's order.
constexpr int kColumnWidths[RubricaModel::kColumns] = {230, 60, 130, 45, 110, 110, 150,
                                                       100, 80, 180, 60, 180, 180};

QString customersText(std::size_t count) {
    return count == 1 ? QStringLiteral("1 cliente") : QStringLiteral("%1 clienti").arg(count);
}

bool movesInTable(int key) {
    return key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
           key == Qt::Key_PageDown;
}

}  // namespace

RubricaWindow::RubricaWindow(Form1& form) : QDialog(&form), form_(form) {
    setObjectName(QStringLiteral("RubricaWindow"));
    setWindowTitle(QStringLiteral("Rubrica - Clivara 2008"));
    setModal(false);
    setSizeGripEnabled(true);

    model_ = new RubricaModel(
        [&form]() -> const clivara::archive::Sheet* {
            return form.ArchiveBook ? form.ArchiveBook->sheet("Clienti") : nullptr;
        },
        this);

    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("rubricaFilter"));
    filter_->setPlaceholderText(
        QStringLiteral("Filtra: nome, località, telefono, codice fiscale, partita IVA..."));
    filter_->setClearButtonEnabled(true);
    filter_->installEventFilter(this);

    onlyMarked_ = new QCheckBox(QStringLiteral("solo clienti con dati da verificare"), this);
    onlyMarked_->setObjectName(QStringLiteral("rubricaOnlyMarked"));

    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("rubricaTable"));
    table_->setModel(model_);
    table_->setItemDelegate(new RubricaCellDelegate(table_));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setWordWrap(false);
    table_->setAlternatingRowColors(true);
    // Every line as high as the first: a table of tens of thousands of customers is never
    // measured line by line.
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
    QHeaderView* header = table_->horizontalHeader();
    header->setSectionsMovable(true);
    header->setHighlightSections(false);
    header->setStretchLastSection(false);
    header->setSortIndicatorClearable(true);  // a third click goes back to the archive's order
    header->setSortIndicator(-1, Qt::AscendingOrder);
    table_->setSortingEnabled(true);
    for (int column = 0; column < RubricaModel::kColumns; ++column) {
        table_->setColumnWidth(column, kColumnWidths[column]);
        table_->setColumnHidden(column, column >= RubricaModel::kShownAtFirst);
    }
    table_->installEventFilter(this);

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("rubricaCount"));
    count_->setTextFormat(Qt::PlainText);

    columnsButton_ = new QToolButton(this);
    columnsButton_->setObjectName(QStringLiteral("rubricaColumns"));
    columnsButton_->setText(QStringLiteral("Colonne"));
    columnsButton_->setPopupMode(QToolButton::InstantPopup);
    buildColumnsMenu();
    csv_ = new QPushButton(QStringLiteral("Esporta CSV..."), this);
    csv_->setObjectName(QStringLiteral("rubricaCsv"));
    vcard_ = new QPushButton(QStringLiteral("Esporta vCard..."), this);
    vcard_->setObjectName(QStringLiteral("rubricaVcard"));
    // Enter belongs to the table (it loads the customer), never to a button.
    for (QPushButton* button : {csv_, vcard_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    auto* top = new QHBoxLayout;
    top->addWidget(filter_, 1);
    top->addWidget(onlyMarked_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(count_, 1);
    bottom->addWidget(columnsButton_);
    bottom->addWidget(csv_);
    bottom->addWidget(vcard_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(table_, 1);
    layout->addLayout(bottom);
    resize(1000, 560);  // the eight columns shown at first, whole

    auto* toFilter = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    connect(toFilter, &QShortcut::activated, this, [this] {
        filter_->setFocus(Qt::ShortcutFocusReason);
        filter_->selectAll();
    });
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_->setFilterText(text);
        afterFilter();
    });
    connect(onlyMarked_, &QCheckBox::toggled, this, [this](bool only) {
        model_->setOnlyMarked(only);
        afterFilter();
    });
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this] { restoreCurrent(); });
    connect(table_, &QAbstractItemView::doubleClicked, this, [this] { loadChosen(); });
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { rememberCurrent(); });
    // After a reset the selection model is the same object; the current line is gone.
    connect(model_, &QAbstractItemModel::modelReset, this, [this] { showCount(); });
    connect(csv_, &QPushButton::clicked, this, [this] { exportShown(ExportFormat::Csv); });
    connect(vcard_, &QPushButton::clicked, this, [this] { exportShown(ExportFormat::Vcard); });
    connect(&form, &Form1::registerChanged, this, [this] { followRegister(); });

    chooseExportFile = [this](const QString& caption, const QString& proposed,
                              const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, proposed, filter);
    };
    showCount();
}

RubricaWindow::~RubricaWindow() = default;

void RubricaWindow::buildColumnsMenu() {
    columns_ = new QMenu(columnsButton_);
    columns_->setObjectName(QStringLiteral("rubricaColumnsMenu"));
    for (int column = 0; column < RubricaModel::kColumns; ++column) {
        QAction* action =
            columns_->addAction(model_->headerData(column, Qt::Horizontal).toString());
        action->setCheckable(true);
        action->setChecked(column < RubricaModel::kShownAtFirst);
        action->setEnabled(column != 0);  // the name always stays
        connect(action, &QAction::toggled, this,
                [this, column](bool shown) { table_->setColumnHidden(column, !shown); });
    }
    columnsButton_->setMenu(columns_);
    QHeaderView* header = table_->horizontalHeader();
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(header, &QWidget::customContextMenuRequested, this,
            [this, header](const QPoint& at) { columns_->popup(header->mapToGlobal(at)); });
}

void RubricaWindow::present() {
    followRegister();
    show();
    raise();
    activateWindow();
    if (!table_->currentIndex().isValid() && model_->rowCount() > 0) {
        table_->setCurrentIndex(model_->index(0, 0));
    }
    table_->setFocus();
    // The search's index is built once the window stands, before the first keystroke needs it.
    QTimer::singleShot(0, this, [this] { model_->prepareSearch(); });
}

void RubricaWindow::rememberCurrent() {
    if (restoring_ || !model_->isCurrent()) return;
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid()) return;
    const clivara::archive::Sheet* clienti =
        form_.ArchiveBook ? form_.ArchiveBook->sheet("Clienti") : nullptr;
    if (clienti == nullptr) return;
    const int row = model_->sheetRow(current.row());
    currentId_ = QString::fromStdString(clienti->text(row, customers::kIdColumn));
    currentName_ = QString::fromStdString(clienti->text(row, customers::kNameColumn));
    currentLine_ = current.row();
    currentRow_ = row;
}

// The line of the customer that was current: its row while that still holds the same ID and
// name (a filter or a sort moved nothing in the sheet); else the line of the same ID and name,
// else of the same ID (the name was modified), else of the same name; -1 when it is not listed.
int RubricaWindow::lineOfRemembered() const {
    const clivara::archive::Sheet* clienti =
        form_.ArchiveBook ? form_.ArchiveBook->sheet("Clienti") : nullptr;
    if (currentLine_ < 0 || clienti == nullptr || !model_->isCurrent()) return -1;
    const std::string id = currentId_.toStdString();
    const std::string name = currentName_.toStdString();
    if (clienti->text(currentRow_, customers::kIdColumn) == id &&
        clienti->text(currentRow_, customers::kNameColumn) == name) {
        return model_->lineOfRow(currentRow_);
    }
    int sameId = -1, sameName = -1;
    const int lines = model_->rowCount();
    for (int line = 0; line < lines; ++line) {
        const int row = model_->sheetRow(line);
        const bool idMatches = !id.empty() && clienti->text(row, customers::kIdColumn) == id;
        const bool nameMatches = clienti->text(row, customers::kNameColumn) == name;
        if (idMatches && nameMatches) return line;
        if (idMatches && sameId < 0) sameId = line;
        if (nameMatches && sameName < 0) sameName = line;
    }
    return sameId >= 0 ? sameId : sameName;
}

void RubricaWindow::makeCurrent(int line) {
    const QModelIndex target = model_->index(line, 0);
    if (!target.isValid()) return;
    restoring_ = true;
    table_->setCurrentIndex(target);
    table_->scrollTo(target, QAbstractItemView::EnsureVisible);
    restoring_ = false;
    rememberCurrent();
}

// After the lines were read again or reordered: the customer that was current stays current
// and in view; when it is gone, the line that took its place.
void RubricaWindow::restoreCurrent() {
    const int lines = model_->rowCount();
    if (lines > 0 && currentLine_ >= 0) {
        const int line = lineOfRemembered();
        makeCurrent(line >= 0 ? line : std::min(currentLine_, lines - 1));
    }
    showCount();
}

void RubricaWindow::followRegister() {
    model_->refresh();
    restoreCurrent();
    if (isVisible()) QTimer::singleShot(0, this, [this] { model_->prepareSearch(); });
}

// After a keystroke in the filter: the current customer stays current where it is still
// listed, else the first line is.
void RubricaWindow::afterFilter() {
    const int line = lineOfRemembered();
    makeCurrent(line >= 0 ? line : 0);
    if (line < 0) table_->scrollToTop();
    showCount();
}

void RubricaWindow::showCount() {
    if (!model_->failure().isEmpty()) {
        count_->setText(model_->failure());
        return;
    }
    const auto shown = static_cast<std::size_t>(model_->rowCount());
    const std::size_t all = model_->customerCount();
    if (all == 0) {
        count_->setText(QStringLiteral("Nessun cliente in archivio"));
    } else if (shown == all) {
        count_->setText(customersText(all));
    } else if (shown == 0) {
        count_->setText(QStringLiteral("Nessun cliente trovato su %1").arg(customersText(all)));
    } else {
        count_->setText(QStringLiteral("%1 su %2").arg(customersText(shown), customersText(all)));
    }
}

void RubricaWindow::loadChosen() {
    // Lines read before the register changed would load whatever now stands in their rows:
    // they are read anew, and the user chooses again.
    if (!model_->isCurrent()) {
        followRegister();
        return;
    }
    const QModelIndex current = table_->currentIndex();
    if (!current.isValid()) return;
    form_.loadCustomerRow(model_->sheetRow(current.row()));
    // The table, wide as it is, may stand over the fields it has just filled: the main window
    // comes to the front, the Rubrica stays open behind it.
    form_.raise();
    form_.activateWindow();
}

void RubricaWindow::exportShown(ExportFormat format) {
    if (!model_->isCurrent()) followRegister();
    const std::vector<int> rows = model_->shownRows();
    const clivara::archive::Sheet* clienti =
        form_.ArchiveBook ? form_.ArchiveBook->sheet("Clienti") : nullptr;
    if (rows.empty() || clienti == nullptr) {
        form_.messageBoxes().inform(this, kBoxTitle,
                                    QStringLiteral("Nessun cliente da esportare."));
        return;
    }
    const bool csv = format == ExportFormat::Csv;
    const QString folder = QString::fromStdString(form_.archivePath().parent_path().string());
    const QString proposed =
        QDir(folder.isEmpty() ? QDir::currentPath() : folder)
            .filePath(csv ? QStringLiteral("Rubrica.csv") : QStringLiteral("Rubrica.vcf"));
    QString chosen = chooseExportFile(
        csv ? QStringLiteral("Esporta in CSV") : QStringLiteral("Esporta in vCard"), proposed,
        csv ? QStringLiteral("File CSV (*.csv)") : QStringLiteral("vCard (*.vcf)"));
    if (chosen.isEmpty()) return;
    // A name without the format's ending gets it, so that the file opens as what it is.
    std::filesystem::path target(chosen.toStdString());
    const std::optional<ExportFormat> named = customers::exportFormatOf(target);
    if (named != format) {
        chosen += csv ? QStringLiteral(".csv") : QStringLiteral(".vcf");
        target = std::filesystem::path(chosen.toStdString());
    }
    try {
        customers::exportCustomers(*clienti, rows, format, target, form_.archivePath());
    } catch (const std::exception& error) {
        form_.messageBoxes().inform(
            this, kBoxTitle,
            QStringLiteral("Esportazione non riuscita: ") + QString::fromUtf8(error.what()));
        return;
    }
    form_.messageBoxes().inform(
        this, kBoxTitle,
        (rows.size() == 1 ? QStringLiteral("Esportato 1 cliente in ")
                          : QStringLiteral("Esportati %1 clienti in ").arg(rows.size())) +
            QDir::toNativeSeparators(chosen) + QStringLiteral("."));
}

bool RubricaWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == filter_ || watched == table_)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            loadChosen();
            return true;
        }
        // The arrows move in the table while the typing goes on in the filter.
        if (watched == filter_ && movesInTable(key->key())) {
            QCoreApplication::sendEvent(table_, event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool RubricaWindow::event(QEvent* event) {
    // Back from the main window, where the register may have changed without saying so.
    if (event->type() == QEvent::WindowActivate && isVisible() && !model_->isCurrent()) {
        followRegister();
    }
    return QDialog::event(event);
}

void Form1::MnRubrica_Click() {
    auto* window = findChild<RubricaWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (window == nullptr) window = new RubricaWindow(*this);
    window->present();
}
