// "Cerca Cliente..." on a real Form1 (offscreen): Ctrl+F opens the search window, typing lists
// the matches and their number, Enter or a double click loads the chosen row as Combo1 does,
// customers sharing a name are each reachable, Esc closes, and a change of the register
// shows in the list before anything is loaded from it.
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>

#include "archive_on_disk.h"
#include "window/customer_search_window.h"

namespace {

QStringList customer(const QString& name, const QString& id, const QString& town,
                     const QString& phone, const QString& taxCode) {
    return {name, id,      "01/02/2008", "Via " + name, "00100", town, "RM", phone,
            "",   taxCode, "",           "Nota " + id,  ""};
}

QStringList fields(const Form1& form) {
    QStringList out;
    for (int n = 1; n <= 13; ++n) {
        out << form.fieldText(n);
    }
    return out;
}

CustomerSearchWindow* searchWindow(Form1& form) {
    return form.findChild<CustomerSearchWindow*>();
}

std::vector<int> listed(Form1& form) {
    return searchWindow(form)->listedRows();
}

const ArchiveContent kArchive{
    {},
    {customer("Rossi Mario", "1", "Roma", "06 1656160", "rssmra70a01h501x"),
     customer("Bianchi Caffè", "2", "Milano", "02 8645", "BNCCFF70A01F205X"),
     customer("Rossi Mario", "3", "Città di Castello", "075 855", ""),
     {"", "4", "", "Rossi senza nome"},
     customer("Ωμέγα Rossi", "5", "Αθήνα", "", "")}};

}  // namespace

class CustomerSearchWindowTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void ctrlFTypingEnterAndEsc() {
        OpenWindow w(kArchive);
        QVERIFY(w.loaded);
        QCOMPARE(w.form->mnuCerca->text(), QStringLiteral("Cerca Cliente..."));
        QTest::keyClick(w.form.get(), Qt::Key_F, Qt::ControlModifier);
        CustomerSearchWindow* search = searchWindow(*w.form);
        QVERIFY(search != nullptr);
        QTRY_VERIFY(search->isVisible());
        QTRY_VERIFY(search->queryLine()->hasFocus());
        QVERIFY(QApplication::activeModalWidget() == nullptr);  // the main window stays usable
        QCOMPARE(search->countLabel()->text(), QString());
        // The offscreen screen has no room beside the form: the window stands at its foot,
        // leaving the name and the ID that a load fills in sight.
        const QRect frame = search->frameGeometry();
        for (const QWidget* field : {w.form->Text1, w.form->Text2}) {
            const QRect place(field->mapToGlobal(QPoint(0, 0)), field->size());
            QVERIFY2(!frame.intersects(place), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                              .arg(frame.x())
                                                              .arg(frame.y())
                                                              .arg(frame.width())
                                                              .arg(frame.height())));
        }
        QVERIFY(search->screen()->availableGeometry().contains(frame));

        QTest::keyClicks(search->queryLine(), QStringLiteral("rossi"));
        // The nameless row is never a match.
        QCOMPARE(listed(*w.form), (std::vector<int>{2, 4, 6}));
        QCOMPARE(search->countLabel()->text(), QStringLiteral("3 clienti trovati"));
        const QAbstractItemModel* model = search->resultsView()->model();
        QCOMPARE(model->columnCount(), 4);
        QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("Città di Castello"));
        QCOMPARE(model->index(0, 3).data().toString(), QStringLiteral("rssmra70a01h501x"));
        QCOMPARE(model->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Ragione Sociale"));

        // The arrows move in the list while typing; Enter loads the second "Rossi Mario",
        // reachable by its row, with the tax-code field's upper case as Combo1 gives it.
        QTest::keyClick(search->queryLine(), Qt::Key_Down);
        QCOMPARE(search->resultsView()->currentIndex().row(), 1);
        QTest::keyClick(search->queryLine(), Qt::Key_Return);
        QCOMPARE(fields(*w.form), customer("Rossi Mario", "3", "Città di Castello", "075 855", ""));
        QTest::keyClick(search->queryLine(), Qt::Key_Up);
        QTest::keyClick(search->resultsView(), Qt::Key_Enter);
        QStringList first = customer("Rossi Mario", "1", "Roma", "06 1656160", "RSSMRA70A01H501X");
        QCOMPARE(fields(*w.form), first);
        QVERIFY(search->isVisible());  // it may stay open
        QVERIFY(w.form->comboText().isEmpty());
        QVERIFY(w.boxes.shown.empty());

        // Words anywhere in any field, accents and case ignored, telephone digits alone.
        const struct {
            const char* query;
            std::vector<int> rows;
            const char* count;
        } cases[] = {
            {"CITTA rossi", {4}, "1 cliente trovato"}, {"omega", {}, "Nessun cliente trovato"},
            {"ΑΘΗΝΑ", {6}, "1 cliente trovato"},       {"061656160", {2}, "1 cliente trovato"},
            {"caffe 2", {3}, "1 cliente trovato"},     {"  ", {}, ""},
        };
        for (const auto& c : cases) {
            search->queryLine()->setText(QString::fromUtf8(c.query));
            QCOMPARE(listed(*w.form), c.rows);
            QCOMPARE(search->countLabel()->text(), QString::fromUtf8(c.count));
        }

        // A double click loads that line's row.
        search->queryLine()->setText(QStringLiteral("mario"));
        QTreeView* view = search->resultsView();
        const QRect second = view->visualRect(view->model()->index(1, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, second.center());
        QCOMPARE(w.form->fieldText(2), QStringLiteral("3"));

        QTest::keyClick(search->queryLine(), Qt::Key_Escape);
        QVERIFY(!search->isVisible());
        QCOMPARE(w.form->fieldText(2), QStringLiteral("3"));

        // Opened again, it shows the same search.
        w.form->mnuCerca->trigger();
        QVERIFY(search->isVisible());
        QCOMPARE(searchWindow(*w.form), search);
        QCOMPARE(search->queryLine()->text(), QStringLiteral("mario"));
        QCOMPARE(listed(*w.form), (std::vector<int>{2, 4}));
    }

    void aChangeOfTheRegisterShowsBeforeAnythingLoads() {
        OpenWindow w(kArchive);
        QVERIFY(w.loaded);
        w.form->mnuCerca->trigger();
        CustomerSearchWindow* search = searchWindow(*w.form);
        search->queryLine()->setText(QStringLiteral("rossi mario"));
        QCOMPARE(listed(*w.form), (std::vector<int>{2, 4}));
        QTest::keyClick(search->queryLine(), Qt::Key_Down);
        QTest::keyClick(search->queryLine(), Qt::Key_Return);
        QCOMPARE(w.form->fieldText(2), QStringLiteral("3"));

        // Modifica on the loaded ID, with the search window still open: the rows are sorted
        // by name, so row 4 no longer holds that customer.
        w.form->setFieldText(1, QStringLiteral("Aaa Rossi Mario"));
        w.boxes.answers = {true};
        w.form->mnuM_Click();
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Cliente Modificato"));
        QCOMPARE(w.form->fieldText(2), QString());

        // Enter on the old list loads nothing; the list is shown anew from the sheet.
        QTest::keyClick(search->queryLine(), Qt::Key_Return);
        QCOMPARE(w.form->fieldText(2), QString());
        QCOMPARE(listed(*w.form).size(), 2u);
        QCOMPARE(search->resultsView()->model()->index(0, 0).data().toString(),
                 QStringLiteral("Aaa Rossi Mario"));
        QTest::keyClick(search->queryLine(), Qt::Key_Return);
        QCOMPARE(w.form->fieldText(2), QStringLiteral("3"));
        QCOMPARE(w.form->fieldText(1), QStringLiteral("Aaa Rossi Mario"));

        // Elimina acts on the ID loaded from the search.
        w.boxes.answers = {true};
        w.form->mnuE_Click();
        search->queryLine()->setText(QStringLiteral("rossi"));
        QCOMPARE(search->countLabel()->text(), QStringLiteral("2 clienti trovati"));
        for (int line = 0; line < 2; ++line) {
            QVERIFY(search->resultsView()->model()->index(line, 2).data().toString() !=
                    QStringLiteral("3"));
        }
    }
};

QTEST_MAIN(CustomerSearchWindowTest)
#include "customer_search_window_test.moc"
