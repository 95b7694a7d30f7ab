// "Rubrica" on a real Form1 (offscreen): the table of every customer, the filter with the
// search's rules, the order by a heading, Enter loading the customer, the marks, the table
// following Aggiungi, Modifica and Elimina with the current customer kept, and the export.
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>

#include "archive_on_disk.h"
#include "register/customer_csv.h"
#include "window/field_marks.h"
#include "window/rubrica_model.h"
#include "window/rubrica_window.h"

namespace {

QStringList customer(const QString& name, const QString& id, const QString& town,
                     const QString& phone, const QString& taxCode) {
    return {name, id,      "01/02/2008", "Via " + name, "00100", town, "RM", phone,
            "",   taxCode, "",           "Nota " + id,  ""};
}

const ArchiveContent kArchive{
    {},
    {customer("Rossi Mario", "10", "Roma", "06 1656160", "RSSMRA80A01H501U"),
     customer("bianchi Caffè", "9", "Milano", "02 8645", "BNCCFF70A01F205X"),  // bad check
     customer("Àlberti", "100", "Città di Castello", "075 855", ""),
     {"", "4", "", "senza nome"},
     customer("Zeta", "2", "Pisa", "", "")}};

RubricaWindow* open(Form1& form) {
    form.MnRubrica->trigger();
    return form.findChild<RubricaWindow*>();
}

// A column of the table, top to bottom, as shown.
QStringList shown(const RubricaWindow& rubrica, int field) {
    QStringList out;
    const RubricaModel& model = rubrica.model();
    for (int line = 0; line < model.rowCount(); ++line) {
        out << model.index(line, RubricaModel::columnOfField(field)).data().toString();
    }
    return out;
}

QString currentId(const RubricaWindow& rubrica) {
    const QModelIndex current = rubrica.table()->currentIndex();
    return rubrica.model().index(current.row(), RubricaModel::columnOfField(2)).data().toString();
}

}  // namespace

class RubricaWindowTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void filterSortEnterAndEsc() {
        OpenWindow w(kArchive);
        QVERIFY(w.loaded);
        RubricaWindow* rubrica = open(*w.form);
        QVERIFY(rubrica != nullptr);
        QTRY_VERIFY(rubrica->isVisible());
        QCOMPARE(rubrica->windowTitle(), QStringLiteral("Rubrica - Clivara 2008"));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QStringList headings;
        for (int column = 0; column < RubricaModel::kColumns; ++column) {
            if (!rubrica->table()->isColumnHidden(column)) {
                headings << rubrica->model().headerData(column, Qt::Horizontal).toString();
            }
        }
        QCOMPARE(headings, (QStringList{"Ragione Sociale", "ID", "Località", "(PR)", "Telefono",
                                        "Cellullare", "Codice Fiscale", "Partita IVA"}));
        // Sheet order; the nameless row is no customer.
        QCOMPARE(shown(*rubrica, 1),
                 (QStringList{"Rossi Mario", "bianchi Caffè", "Àlberti", "Zeta"}));
        QCOMPARE(rubrica->countLabel()->text(), QStringLiteral("4 clienti"));

        QTRY_COMPARE(QApplication::activeWindow(), rubrica);
        QTest::keyClick(rubrica->table(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(rubrica->filterLine()->hasFocus());
        struct Case {
            const char* filter;
            QStringList ids;
            const char* count;
        };
        const std::vector<Case> cases = {
            {"CITTA", {"100"}, "1 cliente su 4 clienti"},
            {"caffe milano", {"9"}, "1 cliente su 4 clienti"},
            {"+39 06-1656160", {"10"}, "1 cliente su 4 clienti"},
            {"nota", {"10", "9", "100", "2"}, "4 clienti"},
            {"nessuno", {}, "Nessun cliente trovato su 4 clienti"},
            {"", {"10", "9", "100", "2"}, "4 clienti"},
        };
        for (const Case& c : cases) {
            rubrica->filterLine()->setText(QString::fromUtf8(c.filter));
            QCOMPARE(shown(*rubrica, 2), c.ids);
            QCOMPARE(rubrica->countLabel()->text(), QString::fromUtf8(c.count));
        }

        // A click on a heading orders by it: IDs as numbers, names in Italian collation.
        QHeaderView* header = rubrica->table()->horizontalHeader();
        const auto click = [&](int field) {
            const int column = RubricaModel::columnOfField(field);
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + 5, 5));
        };
        click(2);
        QCOMPARE(shown(*rubrica, 2), (QStringList{"2", "9", "10", "100"}));
        click(2);
        QCOMPARE(shown(*rubrica, 2), (QStringList{"100", "10", "9", "2"}));
        click(1);
        QCOMPARE(shown(*rubrica, 1),
                 (QStringList{"Àlberti", "bianchi Caffè", "Rossi Mario", "Zeta"}));
        // The archive's own order is not changed.
        QStringList sheetOrder;
        for (int row = 2; row <= 6; ++row) {
            sheetOrder << QString::fromStdString(
                w.form->ArchiveBook->sheet("Clienti")->text(row, 1));
        }
        QCOMPARE(sheetOrder, (QStringList{"Rossi Mario", "bianchi Caffè", "Àlberti", "", "Zeta"}));

        // Enter in the filter loads the current line's customer, as "Cerca Cliente..." does.
        // The current customer stays current through the filter; the arrows move in the table.
        rubrica->filterLine()->setText(QStringLiteral("castello"));
        rubrica->filterLine()->setText(QString());
        QCOMPARE(currentId(*rubrica), QStringLiteral("100"));
        QTest::keyClick(rubrica->filterLine(), Qt::Key_Down);
        QTest::keyClick(rubrica->filterLine(), Qt::Key_Down);
        QTest::keyClick(rubrica->filterLine(), Qt::Key_Return);
        QCOMPARE(w.form->fieldText(1), QStringLiteral("Rossi Mario"));
        QCOMPARE(w.form->fieldText(2), QStringLiteral("10"));
        QTRY_COMPARE(QApplication::activeWindow(), w.form.get());  // the loaded fields in sight
        // A double click as well.
        QTableView* table = rubrica->table();
        const QRect first = table->visualRect(rubrica->model().index(0, 0));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, first.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, first.center());
        QCOMPARE(w.form->fieldText(2), QStringLiteral("100"));
        QVERIFY(rubrica->isVisible());

        QTest::keyClick(table, Qt::Key_Escape);
        QVERIFY(!rubrica->isVisible());
        QCOMPARE(open(*w.form), rubrica);  // the same window, the same filter
        QCOMPARE(rubrica->model().rowCount(), 4);
    }

    void marksAndOnlyMarked() {
        OpenWindow w(kArchive);
        QVERIFY(w.loaded);
        RubricaWindow* rubrica = open(*w.form);
        const RubricaModel& model = rubrica->model();
        const QModelIndex bad = model.index(1, RubricaModel::columnOfField(10));
        QCOMPARE(bad.data(Qt::BackgroundRole).value<QBrush>().color(), FieldMarks::kMarkColour);
        QVERIFY(
            !model.index(0, RubricaModel::columnOfField(10)).data(Qt::BackgroundRole).isValid());
        // The same tooltip as the main window's field once the customer is loaded.
        w.form->loadCustomerRow(3);
        QTest::qWait(0);
        QVERIFY(!w.form->Text10->toolTip().isEmpty());
        QCOMPARE(bad.data(Qt::ToolTipRole).toString(), w.form->Text10->toolTip());

        rubrica->onlyMarkedBox()->setChecked(true);
        QCOMPARE(shown(*rubrica, 2), (QStringList{"9"}));
        rubrica->filterLine()->setText(QStringLiteral("rossi"));
        QCOMPARE(shown(*rubrica, 2), QStringList());
        rubrica->onlyMarkedBox()->setChecked(false);
        QCOMPARE(shown(*rubrica, 2), (QStringList{"10"}));
    }

    void followsEveryChangeKeepingTheCurrentCustomer() {
        ArchiveContent compact = kArchive;
        compact.fullRows.erase(compact.fullRows.begin() + 3);  // the nameless row
        OpenWindow w(compact);
        QVERIFY(w.loaded);
        RubricaWindow* rubrica = open(*w.form);
        QTableView* table = rubrica->table();
        table->setCurrentIndex(rubrica->model().index(2, 0));
        QCOMPARE(currentId(*rubrica), QStringLiteral("100"));

        // Modifica renames another customer: the list is sorted anew, the current one stays.
        w.form->loadCustomerRow(5);  // Zeta
        w.form->setFieldText(1, QStringLiteral("Aaa Zeta"));
        w.boxes.answers = {true};
        w.form->mnuM_Click();
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Cliente Modificato"));
        QCOMPARE(shown(*rubrica, 1),
                 (QStringList{"Aaa Zeta", "Àlberti", "bianchi Caffè", "Rossi Mario"}));
        QCOMPARE(currentId(*rubrica), QStringLiteral("100"));

        // Modifica of the current customer's name: found again by its ID.
        w.form->loadCustomerRow(rubrica->model().sheetRow(table->currentIndex().row()));
        w.form->setFieldText(1, QStringLiteral("Zz Alberti"));
        w.boxes.answers = {true};
        w.form->mnuM_Click();
        QCOMPARE(currentId(*rubrica), QStringLiteral("100"));
        QCOMPARE(rubrica->model().index(table->currentIndex().row(), 0).data().toString(),
                 QStringLiteral("Zz Alberti"));

        // Aggiungi shows the new customer, Elimina takes one away.
        w.form->mnuP_Click();
        w.form->setFieldText(1, QStringLiteral("Nuovo Cliente"));
        w.boxes.answers = {true};
        w.form->mnuA_Click();
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Cliente Aggiunto"));
        QCOMPARE(rubrica->model().rowCount(), 5);
        QVERIFY(shown(*rubrica, 1).contains(QStringLiteral("Nuovo Cliente")));
        QCOMPARE(rubrica->countLabel()->text(), QStringLiteral("5 clienti"));
        w.form->loadCustomerRow(rubrica->model().sheetRow(0));  // Aaa Zeta
        w.boxes.answers = {true};
        w.form->mnuE_Click();
        QVERIFY(w.boxes.shown.back().text.endsWith(QStringLiteral("Eliminato")));
        QVERIFY(!shown(*rubrica, 1).contains(QStringLiteral("Aaa Zeta")));
        QCOMPARE(currentId(*rubrica), QStringLiteral("100"));
        QVERIFY(table->viewport()->rect().intersects(table->visualRect(table->currentIndex())));
    }

    // The order by a column is kept for the register as read; every change reads it anew.
    void sortedTableFollowsChangesAndUndo() {
        ArchiveContent compact = kArchive;
        compact.fullRows.erase(compact.fullRows.begin() + 3);  // the nameless row
        OpenWindow w(compact);
        QVERIFY(w.loaded);
        RubricaWindow* rubrica = open(*w.form);
        QTableView* table = rubrica->table();
        const int town = RubricaModel::columnOfField(6);
        table->sortByColumn(town, Qt::AscendingOrder);
        const QStringList before{"Città di Castello", "Milano", "Pisa", "Roma"};
        QCOMPARE(shown(*rubrica, 6), before);
        table->sortByColumn(RubricaModel::columnOfField(2), Qt::AscendingOrder);
        table->sortByColumn(town, Qt::DescendingOrder);
        QCOMPARE(shown(*rubrica, 6), (QStringList{"Roma", "Pisa", "Milano", "Città di Castello"}));

        w.form->loadCustomerRow(5);  // Zeta, of Pisa
        w.form->setFieldText(6, QStringLiteral("Ancona"));
        w.boxes.answers = {true};
        w.form->mnuM_Click();
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Cliente Modificato"));
        QCOMPARE(shown(*rubrica, 6),
                 (QStringList{"Roma", "Milano", "Città di Castello", "Ancona"}));
        table->sortByColumn(town, Qt::AscendingOrder);
        QCOMPARE(shown(*rubrica, 6),
                 (QStringList{"Ancona", "Città di Castello", "Milano", "Roma"}));
        rubrica->filterLine()->setText(QStringLiteral("ancona"));
        QCOMPARE(shown(*rubrica, 2), (QStringList{"2"}));
        rubrica->filterLine()->clear();

        w.boxes.answers = {true};
        w.form->mnuAnnulla_Click();
        QCOMPARE(shown(*rubrica, 6), before);
        rubrica->filterLine()->setText(QStringLiteral("ancona"));
        QCOMPARE(shown(*rubrica, 2), QStringList());
    }

    void exportsWhatTheTableShows() {
        OpenWindow w(kArchive);
        QVERIFY(w.loaded);
        RubricaWindow* rubrica = open(*w.form);
        const QString target = w.dir.filePath(QStringLiteral("lettere"));
        QString asked;
        rubrica->chooseExportFile = [&](const QString&, const QString& proposed, const QString&) {
            asked = proposed;
            return target;
        };
        rubrica->filterLine()->setText(QStringLiteral("nota"));
        rubrica->table()->sortByColumn(RubricaModel::columnOfField(2), Qt::DescendingOrder);
        rubrica->csvButton()->click();
        QCOMPARE(asked, w.dir.filePath(QStringLiteral("Rubrica.csv")));
        QCOMPARE(w.boxes.shown.back().text,
                 "Esportati 4 clienti in " + QDir::toNativeSeparators(target) + ".csv.");
        const clivara::archive::Sheet& clienti = *w.form->ArchiveBook->sheet("Clienti");
        const std::vector<int> rows = {4, 2, 3, 6};  // by ID, descending
        QCOMPARE(rubrica->model().shownRows(), rows);
        QCOMPARE(fileBytes((target + ".csv").toStdString()),
                 QByteArray::fromStdString(clivara::customers::customersAsCsv(clienti, rows)));

        // Cancelled, or nothing shown: nothing written.
        const QByteArray archiveBefore = fileBytes(w.path);
        rubrica->chooseExportFile = [](const QString&, const QString&, const QString&) {
            return QString();
        };
        const std::size_t boxes = w.boxes.shown.size();
        rubrica->vcardButton()->click();
        QCOMPARE(w.boxes.shown.size(), boxes);
        rubrica->filterLine()->setText(QStringLiteral("nessuno"));
        rubrica->vcardButton()->click();
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Nessun cliente da esportare."));
        QCOMPARE(fileBytes(w.path), archiveBefore);
    }
};

QTEST_MAIN(RubricaWindowTest)
#include "rubrica_window_test.moc"
