// The "Clienti" menu operations on a real Form1 (offscreen): adding, modifying and deleting
// customers, checked in the workbook the window holds, in the fields and in the list.
#include <QApplication>
#include <QComboBox>
#include <QHash>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "archive/book/new_archive.h"
#include "archive/model/workbook_data.h"
#include "archive/records/biff_stream.h"
#include "archive/workbook.h"
#include "window/form1.h"
#include "window/message_boxes.h"

using clivara::archive::CellKind;
using clivara::archive::Sheet;
using clivara::archive::Workbook;

namespace {

// One message box as the window showed it, with the name and ID fields at that moment.
struct Shown {
    bool question = false;
    QString title;
    QString text;
    QString nameField;
    QString idField;
};

class ScriptedBoxes : public MessageBoxes {
  public:
    bool askYesNo(QWidget*, const QString& title, const QString& text) override {
        record(true, title, text);
        if (answers.empty()) {
            return false;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    // The warning about a customer that seems the same one: recorded and answered like any
    // other question, so that one showing up unexpectedly is seen.
    bool askYesNoDefaultNo(QWidget* parent, const QString& title, const QString& text) override {
        return askYesNo(parent, title, text);
    }
    void inform(QWidget*, const QString& title, const QString& text) override {
        record(false, title, text);
    }

    std::deque<bool> answers;
    std::vector<Shown> shown;
    Form1* form = nullptr;

  private:
    void record(bool question, const QString& title, const QString& text) {
        shown.push_back({question, title, text, form ? form->fieldText(1) : QString(),
                         form ? form->fieldText(2) : QString()});
    }
};

// A customer row: name, ID, and the other eleven fields derived from the name.
QStringList customer(const QString& name, const QString& id) {
    QStringList row{name, id, QStringLiteral("01/02/2003")};
    for (int column = 4; column <= 9; ++column) {
        row << QStringLiteral("%1 c%2").arg(name).arg(column);
    }
    // The tax code is kept in capitals by the window. The VAT number has 11 digits and is the
    // customer's own, so that no two customers here look like the same one and the tests
    // meet no duplicate warning (those are tested in duplicate_question_test).
    const QString vatNumber =
        QString::number(qHash(name) % 100000000000ULL).rightJustified(11, QLatin1Char('0'));
    row << QStringLiteral("CF%1").arg(name.toUpper()).left(16) << vatNumber
        << QStringLiteral("%1 nota\nseconda riga").arg(name) << QString();
    return row;
}

constexpr int kRightOfM = 14;  // column N: must stay in its row while A..M move

class Window {
  public:
    // rows go to "Clienti" from row 2 (an empty name leaves a gap); every row, the heading
    // included, also gets a marker in column N.
    Window(const std::vector<QStringList>& rows, const std::string& counter = "41") {
        Workbook book = clivara::archive::emptyArchive();
        Sheet& clienti = *book.sheet("Clienti");
        clienti.setText(1, kRightOfM, "N1");
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const int row = static_cast<int>(i) + 2;
            for (int column = 1; column <= rows[i].size(); ++column) {
                clienti.setText(row, column, rows[i][column - 1].toStdString());
            }
            clienti.setText(row, kRightOfM, "N" + std::to_string(row));
        }
        book.sheet("Codici")->setText(2, 1, counter);
        const auto path = std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
        book.save(path);
        form = std::make_unique<Form1>(boxes, path);
        boxes.form = form.get();
        if (!form->Form_Load()) {
            throw std::runtime_error("the test archive did not load");
        }
        form->showAndActivate();
        QTest::qWait(0);
        boxes.shown.clear();
    }

    Sheet& clienti() { return *form->ArchiveBook->sheet("Clienti"); }
    Sheet& codici() { return *form->ArchiveBook->sheet("Codici"); }
    QString cell(int row, int column) {
        return QString::fromStdString(clienti().text(row, column));
    }
    QStringList names(int first, int last) {
        QStringList out;
        for (int row = first; row <= last; ++row) {
            out << cell(row, 1);
        }
        return out;
    }
    QStringList list() const {
        QStringList out;
        for (int i = 0; i < form->Combo1->count(); ++i) {
            out << form->Combo1->itemText(i);
        }
        return out;
    }
    QStringList fields() const {
        QStringList out;
        for (int n = 1; n <= 13; ++n) {
            out << form->fieldText(n);
        }
        return out;
    }
    void type(const QStringList& row) {
        for (int n = 1; n <= 13; ++n) {
            form->setFieldText(n, n <= row.size() ? row[n - 1] : QString());
        }
    }
    // The whole state a refused or declined operation must leave as it was.
    struct State {
        std::vector<std::uint8_t> bytes;
        QStringList fields, list;
        bool operator==(const State&) const = default;
    };
    State state() const { return {form->ArchiveBook->toBytes(), fields(), list()}; }

    ScriptedBoxes boxes;
    QTemporaryDir dir;
    std::unique_ptr<Form1> form;
};

const QString kTitle = QStringLiteral("Clivara 2008");
const QString kSpacedTitle = QStringLiteral(" Clivara 2008");
const QString kHeading = QString::fromStdString(clivara::archive::customerHeadings()[0]);

}  // namespace

class CustomerChangesTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void addWritesNextIdSortsAndRebuilds() {
        Window w({customer("Gamma", "7"), customer("Alfa", "3"), customer("Delta", "41")});
        w.type(customer("beta", "999"));  // a typed ID is ignored; lower case sorts as upper
        w.boxes.answers = {true};
        w.form->mnuA->trigger();

        QCOMPARE(w.boxes.shown.size(), 2u);
        QCOMPARE(w.boxes.shown[0].question, true);
        QCOMPARE(w.boxes.shown[0].title, kTitle);
        QCOMPARE(w.boxes.shown[0].text, QStringLiteral(" Vuoi Inserire questo Cliente ?"));
        QCOMPARE(w.boxes.shown[1].question, false);
        QCOMPARE(w.boxes.shown[1].title, kSpacedTitle);
        QCOMPARE(w.boxes.shown[1].text, QStringLiteral("Cliente Aggiunto"));
        QCOMPARE(w.boxes.shown[1].idField, QString());  // fields emptied before the report

        QCOMPARE(w.names(1, 6),
                 (QStringList{kHeading, "Alfa", "beta", "Delta", "Gamma", QString()}));
        QStringList expected = customer("beta", "42");
        for (int column = 1; column <= 13; ++column) {
            QCOMPARE(w.cell(3, column), expected[column - 1]);
        }
        QCOMPARE(w.codici().kind(2, 1), CellKind::Number);
        QCOMPARE(w.codici().text(2, 1), std::string("42"));
        for (int row = 1; row <= 4; ++row) {  // column N stays in its row
            QCOMPARE(w.cell(row, kRightOfM), QStringLiteral("N%1").arg(row));
        }
        QCOMPARE(w.cell(5, kRightOfM), QString());
        QCOMPARE(w.list(), (QStringList{kHeading, "Alfa", "beta", "Delta", "Gamma"}));
        QCOMPARE(w.fields(), QStringList(QList<QString>(13)));
        QCOMPARE(w.form->Combo1->currentText(), QString());
        QCOMPARE(w.form->focusWidget(), static_cast<QWidget*>(w.form->Text1));

        // A second addition takes the next number.
        w.type(customer("Epsilon", ""));
        w.boxes.answers = {true};
        w.form->mnuA->trigger();
        QCOMPARE(w.cell(5, 1), QStringLiteral("Epsilon"));
        QCOMPARE(w.cell(5, 2), QStringLiteral("43"));
        QCOMPARE(w.codici().text(2, 1), std::string("43"));
    }

    void addTakesFirstGapAndEmptyCounter() {
        // Only the heading row: the first customer goes to row 2 and receives 1.
        Window empty({}, "");
        empty.type(customer("Solo", ""));
        empty.boxes.answers = {true};
        empty.form->mnuA->trigger();
        QCOMPARE(empty.cell(2, 1), QStringLiteral("Solo"));
        QCOMPARE(empty.cell(2, 2), QStringLiteral("1"));
        QCOMPARE(empty.list(), (QStringList{kHeading, "Solo"}));

        // A gap in column A is filled, not the row after the last customer; the run is then
        // unbroken and the sort takes it whole.
        Window gap({customer("Beta", "1"), customer("Delta", "2"), customer("Zeta", "3"),
                    QStringList{}, customer("Alfa", "4")},
                   "4");
        gap.type(customer("Gamma", ""));
        gap.boxes.answers = {true};
        gap.form->mnuA->trigger();
        QCOMPARE(gap.names(2, 7), (QStringList{"Alfa", "Beta", "Delta", "Gamma", "Zeta", ""}));
        QCOMPARE(gap.cell(5, 2), QStringLiteral("5"));
    }

    void addRefusalsChangeNothing() {
        Window w({customer("Alfa", "1")});
        const Window::State before = w.state();

        // No: nothing at all, and no second box.
        w.type(customer("Beta", "typed"));
        const Window::State typed = w.state();
        w.boxes.answers = {false};
        w.form->mnuA->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QVERIFY(w.state() == typed);

        // An empty company name is refused before the question.
        w.boxes.shown.clear();
        w.form->setFieldText(1, QString());
        w.form->mnuA->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QCOMPARE(w.boxes.shown[0].question, false);
        QCOMPARE(w.boxes.shown[0].title, kTitle);
        QCOMPARE(w.boxes.shown[0].text, QStringLiteral("Inserire la Ragione Sociale del cliente."));

        // A note longer than a cell holds is refused, naming the field; nothing is cut.
        w.boxes.shown.clear();
        w.form->setFieldText(1, QStringLiteral("Beta"));
        w.form->setFieldText(13, QString(32768, QLatin1Char('x')));
        w.form->mnuA->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("\"Note\"")));
        QCOMPARE(w.form->fieldText(13).size(), 32768);
        QVERIFY(w.form->ArchiveBook->toBytes() == before.bytes);

        // Exactly 32,767 characters fit.
        w.form->setFieldText(13, QString(32767, QLatin1Char('x')));
        w.boxes.answers = {true};
        w.form->mnuA->trigger();
        QCOMPARE(w.clienti().text(3, 13).size(), 32767u);
    }

    void addToFullSheetAndBadCounterChangeNothing() {
        Window w({customer("Alfa", "1")});
        Sheet& clienti = w.clienti();
        for (int row = 3; row <= Sheet::kLastRow; ++row) {
            clienti.setText(row, 1, "Riga " + std::to_string(row));
        }
        w.type(customer("Nuovo", "ID scritto"));
        const Window::State full = w.state();
        w.boxes.answers = {true};
        w.form->mnuA->trigger();
        QCOMPARE(w.boxes.shown.back().title, kTitle);
        QCOMPARE(w.boxes.shown.back().text,
                 QStringLiteral("Archivio pieno: impossibile aggiungere altri clienti."));
        QVERIFY(w.state() == full);
        QCOMPARE(w.form->fieldText(2), QStringLiteral("ID scritto"));

        // Emptying the last row makes room exactly there.
        clienti.setText(Sheet::kLastRow, 1, "");
        w.boxes.answers = {true};
        w.form->mnuA->trigger();
        QCOMPARE(w.codici().text(2, 1), std::string("42"));
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Cliente Aggiunto"));

        // A counter that is no number: reported, the archive and the fields as they were.
        Window bad({customer("Alfa", "1")});
        bad.codici().setText(2, 1, "quaranta");
        bad.type(customer("Beta", "ID scritto"));
        const Window::State before = bad.state();
        bad.boxes.answers = {true};
        bad.form->mnuA->trigger();
        QCOMPARE(bad.boxes.shown.size(), 2u);
        QVERIFY(bad.state() == before);
    }

    void modifyRewritesRowFoundById() {
        Window w({customer("Alfa", "12"), customer("Beta", "5"), customer("Gamma", "12"),
                  customer("Delta", "3")});
        QStringList changed = customer("Zulu", "12");
        changed[3] = QString();  // an emptied field empties its cell
        w.type(changed);
        w.boxes.answers = {true};
        w.form->mnuM->trigger();

        QCOMPARE(w.boxes.shown.size(), 2u);
        QCOMPARE(w.boxes.shown[0].title, kTitle);
        QCOMPARE(w.boxes.shown[0].text,
                 QStringLiteral("Si voler Modificare il Cliente Selezionato ?"));
        QCOMPARE(w.boxes.shown[1].title, kTitle);
        QCOMPARE(w.boxes.shown[1].text, QStringLiteral("Cliente Modificato"));
        QCOMPARE(w.boxes.shown[1].nameField, QStringLiteral("Zulu"));  // fields still shown

        // Only the upper of the two rows carrying 12 changed; the sort moved it last.
        QCOMPARE(w.names(1, 5), (QStringList{kHeading, "Beta", "Delta", "Gamma", "Zulu"}));
        for (int column = 1; column <= 13; ++column) {
            QCOMPARE(w.cell(5, column), changed[column - 1]);
        }
        QCOMPARE(w.cell(4, 2), QStringLiteral("12"));
        QCOMPARE(w.clienti().kind(5, 2), CellKind::Number);
        for (int row = 1; row <= 5; ++row) {
            QCOMPARE(w.cell(row, kRightOfM), QStringLiteral("N%1").arg(row));
        }
        QCOMPARE(w.codici().text(2, 1), std::string("41"));
        QCOMPARE(w.list(), (QStringList{kHeading, "Beta", "Delta", "Gamma", "Zulu"}));
        QCOMPARE(w.fields(), QStringList(QList<QString>(13)));
        QCOMPARE(w.form->focusWidget(), static_cast<QWidget*>(w.form->Text1));
    }

    void modifyMatchesIdTextExactly() {
        // 12 is a number in B: "012", "12 ", "12.0" and an empty ID find nothing.
        for (const QString& id :
             {QStringLiteral("012"), QStringLiteral("12 "), QStringLiteral("12.0"), QString()}) {
            Window w({customer("Alfa", "12"), customer("Beta", "A-7")});
            w.type(customer("Nuovo", id));
            const Window::State before = w.state();
            w.boxes.answers = {true};
            w.form->mnuM->trigger();
            QCOMPARE(w.boxes.shown.back().title, kTitle);
            QCOMPARE(w.boxes.shown.back().text,
                     QStringLiteral("Nessun cliente con questo ID: nessuna modifica eseguita."));
            QVERIFY2(w.state() == before, qPrintable(id));
        }
        // Text identifiers match case-sensitively.
        Window w({customer("Alfa", "12"), customer("Beta", "A-7")});
        w.type(customer("Beta nuova", "a-7"));
        w.boxes.answers = {true};
        w.form->mnuM->trigger();
        QCOMPARE(w.cell(3, 1), QStringLiteral("Beta"));
        w.type(customer("Beta nuova", "A-7"));
        w.boxes.answers = {true};
        w.form->mnuM->trigger();
        QCOMPARE(w.cell(3, 1), QStringLiteral("Beta nuova"));
    }

    void modifyRefusalsChangeNothing() {
        // One customer and an empty ID: the empty B3 below it is not a match.
        Window w({customer("Alfa", "1")});
        w.type(customer("Alfa nuova", ""));
        const Window::State before = w.state();
        w.boxes.answers = {true};
        w.form->mnuM->trigger();
        QCOMPARE(w.boxes.shown.back().text,
                 QStringLiteral("Nessun cliente con questo ID: nessuna modifica eseguita."));
        QVERIFY(w.state() == before);

        w.boxes.shown.clear();
        w.type(customer("", "1"));
        w.form->mnuM->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QCOMPARE(w.boxes.shown[0].text, QStringLiteral("Inserire la Ragione Sociale del cliente."));

        w.boxes.shown.clear();
        w.type(customer("Alfa", "1"));
        const Window::State typed = w.state();
        w.form->setFieldText(12, QString(40000, QLatin1Char('n')));
        w.form->mnuM->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("\"Note\"")));
        w.form->setFieldText(12, typed.fields[11]);

        w.boxes.shown.clear();
        w.boxes.answers = {false};
        w.form->mnuM->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QVERIFY(w.state() == typed);
    }

    void deleteRemovesRowFoundById() {
        Window w({customer("Alfa", "1"), customer("Beta", "41"), customer("Gamma", "3"),
                  customer("Delta", "41")},
                 "41");
        w.type(customer("non conta", "41"));
        w.boxes.answers = {true};
        w.form->mnuE->trigger();

        QCOMPARE(w.boxes.shown.size(), 2u);
        QCOMPARE(w.boxes.shown[0].title, QStringLiteral("Scheda Cliente 2008"));
        QCOMPARE(w.boxes.shown[0].text,
                 QStringLiteral("Si voler Eliminare il Cliente Selezionato ?"));
        QCOMPARE(w.boxes.shown[1].title, kSpacedTitle);
        // Named by column A, not by the field; four spaces before, six after.
        QCOMPARE(w.boxes.shown[1].text, QStringLiteral("Cliente    Beta      Eliminato"));
        QCOMPARE(w.boxes.shown[1].idField, QStringLiteral("41"));

        // The whole row went, column N included; no sort; the counter stays.
        QCOMPARE(w.names(1, 5), (QStringList{kHeading, "Alfa", "Gamma", "Delta", ""}));
        QCOMPARE(w.cell(3, kRightOfM), QStringLiteral("N4"));
        QCOMPARE(w.cell(4, 2), QStringLiteral("41"));
        QCOMPARE(w.codici().text(2, 1), std::string("41"));
        QCOMPARE(w.list(), (QStringList{kHeading, "Alfa", "Gamma", "Delta"}));
        QCOMPARE(w.fields(), QStringList(QList<QString>(13)));
        QCOMPARE(w.form->focusWidget(), static_cast<QWidget*>(w.form->Text1));
    }

    void deleteOnlyCustomerAndRefusals() {
        Window w({customer("Alfa", "1")});
        // An empty ID with one customer deletes nothing (not the empty row 3).
        w.type(customer("Alfa", ""));
        const Window::State before = w.state();
        w.boxes.answers = {true};
        w.form->mnuE->trigger();
        QCOMPARE(w.boxes.shown.back().title, kSpacedTitle);
        QCOMPARE(w.boxes.shown.back().text,
                 QStringLiteral("Nessun cliente con questo ID: nessun cliente eliminato."));
        QVERIFY(w.state() == before);

        w.form->setFieldText(2, QStringLiteral("1"));
        const Window::State chosen = w.state();
        w.boxes.answers = {false};
        w.form->mnuE->trigger();
        QVERIFY(w.state() == chosen);

        w.boxes.answers = {true};
        w.form->mnuE->trigger();
        QCOMPARE(w.boxes.shown.back().text, QStringLiteral("Cliente    Alfa      Eliminato"));
        QVERIFY(w.clienti().isEmpty(2, 1));
        QCOMPARE(w.cell(1, 1), kHeading);
        QCOMPARE(w.list(), QStringList{kHeading});

        // The next addition still gets the number after the deleted one.
        w.type(customer("Beta", ""));
        w.boxes.answers = {true};
        w.form->mnuA->trigger();
        QCOMPARE(w.cell(2, 2), QStringLiteral("42"));
    }

    // A formula calling TODAY below the deleted customer, whose cached reference cannot follow
    // the rows: the deletion replaces it by its value and says so before its usual report.
    void deleteNamesAFrozenFormulaCallingToday() {
        Window w({customer("Alfa", "1"), customer("Beta", "2"), customer("Gamma", "3")});
        using namespace clivara::archive;
        // P4 = A4 + TODAY(), the reference behind a memory token.
        const std::vector<std::uint8_t> tokens{0x26, 0, 0, 0,    0,    5,   0, 0x24,
                                               3,    0, 0, 0xC0, 0x41, 221, 0, 0x03};
        std::vector<std::uint8_t> body(20, 0);
        patchU16(body, 4, 15);
        putU16(body, static_cast<std::uint16_t>(tokens.size()));
        body.insert(body.end(), tokens.begin(), tokens.end());
        SheetData& data = w.clienti().data();
        Formula formula;
        putRecord(formula.records, rec::kFormula, body);
        Cell cell;
        cell.column = 15;
        cell.type = CellType::Formula;
        cell.payload = data.formulas.size();
        data.formulas.push_back(formula);
        data.rowForWrite(3).cells.push_back(cell);

        w.type(customer("Alfa", "1"));
        w.boxes.answers = {true};
        w.form->mnuE->trigger();
        QCOMPARE(w.boxes.shown.size(), 3u);
        QCOMPARE(w.boxes.shown[1].title, kTitle);
        QVERIFY2(w.boxes.shown[1].text.startsWith(QStringLiteral("Una formula che si ricalcola")),
                 qPrintable(w.boxes.shown[1].text));
        QVERIFY2(w.boxes.shown[1].text.endsWith(QStringLiteral("(foglio «Clienti»: P3).")),
                 qPrintable(w.boxes.shown[1].text));
        QCOMPARE(w.boxes.shown[2].text, QStringLiteral("Cliente    Alfa      Eliminato"));
        QCOMPARE(w.names(2, 3), (QStringList{"Beta", "Gamma"}));
    }
};

QTEST_MAIN(CustomerChangesTest)
#include "customer_menu_test.moc"
