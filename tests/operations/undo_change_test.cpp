// "Annulla" and "Ripeti" on a real Form1 (offscreen): the entries' texts, the reports, the
// fields and the list after each step, the keys' rule for typed fields, and "Esci" leaving the
// file alone once every change was taken back.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "archive/book/new_archive.h"
#include "archive/workbook.h"
#include "operations/shutdown.h"
#include "window/fake_message_boxes.h"
#include "window/form1.h"

namespace {

std::vector<char> fileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Window {
    Window() {
        clivara::archive::Workbook book = clivara::archive::emptyArchive();
        const char* names[] = {"Alfa", "Beta", "Gamma"};
        for (int i = 0; i < 3; ++i) {
            book.sheet("Clienti")->setText(i + 2, 1, names[i]);
            book.sheet("Clienti")->setText(i + 2, 2, std::to_string(i + 1));
        }
        book.sheet("Codici")->setText(2, 1, "3");
        path = std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
        book.save(path);
        opened = fileBytes(path);
        form = std::make_unique<Form1>(boxes, path);
        if (!form->Form_Load()) throw std::runtime_error("the test archive did not load");
        form->showAndActivate();
        QTest::qWait(0);
        boxes.shown.clear();
    }
    QString lastReport() const {
        return boxes.shown.isEmpty() ? QString() : boxes.shown.last().text;
    }

    FakeMessageBoxes boxes;
    QTemporaryDir dir;
    std::filesystem::path path;
    std::vector<char> opened;
    std::unique_ptr<Form1> form;
};

}  // namespace

class UndoChangeTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void entriesEndTheMenuDisabledWhenNothing() {
        Window w;
        const QList<QAction*> actions = w.form->Mnu->actions();
        QVERIFY(actions.size() >= 3);
        QCOMPARE(actions[actions.size() - 2], w.form->mnuAnnulla);
        QCOMPARE(actions[actions.size() - 1], w.form->mnuRipeti);
        QVERIFY(actions.indexOf(w.form->mnuCerca) < actions.indexOf(w.form->mnuAnnulla));
        QCOMPARE(w.form->mnuAnnulla->text(), QStringLiteral("Annulla"));
        QCOMPARE(w.form->mnuRipeti->text(), QStringLiteral("Ripeti"));
        QVERIFY(!w.form->mnuAnnulla->isEnabled());
        QVERIFY(!w.form->mnuRipeti->isEnabled());
    }

    void deletionTakenBackLeavesTheFileUntouchedAtEsci() {
        Window w;
        w.form->setFieldText(2, QStringLiteral("2"));
        w.boxes.answers = {true};
        w.form->mnuE->trigger();
        QCOMPARE(w.form->mnuAnnulla->text(), QStringLiteral("Annulla eliminazione di «Beta»"));
        QVERIFY(w.form->mnuAnnulla->isEnabled());

        w.form->mnuAnnulla->trigger();
        QCOMPARE(w.boxes.shown.last().title, QStringLiteral(" Clivara 2008"));
        QCOMPARE(w.lastReport(),
                 QStringLiteral("Eliminazione annullata: «Beta» è di nuovo in archivio."));
        QCOMPARE(w.form->fieldText(1), QStringLiteral("Beta"));
        QCOMPARE(w.form->Combo1->count(), 4);  // the heading and three customers
        QCOMPARE(w.form->mnuAnnulla->text(), QStringLiteral("Annulla"));
        QCOMPARE(w.form->mnuRipeti->text(), QStringLiteral("Ripeti eliminazione di «Beta»"));

        QCOMPARE(clivara::operations::saveArchive(*w.form), QString());
        QVERIFY(fileBytes(w.path) == w.opened);
    }

    void additionRedoneKeepsItsIdAndCtrlZFollowsTheFocusRule() {
        Window w;
        w.form->setFieldText(1, QStringLiteral("Rossi Srl"));
        w.boxes.answers = {true};
        w.form->mnuA->trigger();
        QCOMPARE(w.form->mnuAnnulla->text(), QStringLiteral("Annulla aggiunta di «Rossi Srl»"));

        // Right after the change the keys take it back, whatever field has the focus.
        w.form->Text1->setFocus();
        QTest::keyClick(w.form->Text1, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.lastReport(),
                 QStringLiteral("Aggiunta annullata: «Rossi Srl» non è più in archivio."));
        QCOMPARE(w.form->ArchiveBook->sheet("Codici")->text(2, 1), std::string("3"));

        QTest::keyClick(w.form->Text1, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(w.lastReport(),
                 QStringLiteral("Aggiunta ripetuta: «Rossi Srl» è di nuovo in archivio."));
        QCOMPARE(w.form->fieldText(1), QStringLiteral("Rossi Srl"));
        QCOMPARE(w.form->fieldText(2), QStringLiteral("4"));
        QCOMPARE(w.form->ArchiveBook->sheet("Clienti")->text(5, 1), std::string("Rossi Srl"));

        // Typing since then: Ctrl+Z is the field's own, the register stays.
        const qsizetype reports = w.boxes.shown.size();
        w.form->Text4->setFocus();
        QTest::keyClicks(w.form->Text4, QStringLiteral("abc"));
        QTest::keyClick(w.form->Text4, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(w.boxes.shown.size(), reports);
        QVERIFY(w.form->fieldText(4).size() < 3);
        QCOMPARE(w.form->mnuAnnulla->text(), QStringLiteral("Annulla aggiunta di «Rossi Srl»"));
        // The menu entry always acts on the register.
        w.form->mnuAnnulla->trigger();
        QCOMPARE(w.form->mnuRipeti->text(), QStringLiteral("Ripeti aggiunta di «Rossi Srl»"));
    }
};

QTEST_MAIN(UndoChangeTest)
#include "undo_change_test.moc"
