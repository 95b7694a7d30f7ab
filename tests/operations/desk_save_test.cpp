// Saving where other desks work: another desk's save meanwhile is kept and ours merged onto
// it (told in one box); a file held open elsewhere is waited for with "Salvataggio in corso…"
// and, past the wait, named as the cause.
#include <QtTest>
#include <cerrno>
#include <thread>

#include "archive/container/atomic_file.h"
#include "archive_on_disk.h"
#include "operations/held_save.h"
#include "operations/merge_at_save.h"
#include "operations/recovery.h"

using clivara::archive::Workbook;

namespace {

// A desk that opened the archive to change it, as the program starts one.
struct Desk {
    explicit Desk(std::filesystem::path archive) : path(std::move(archive)) {
        form = std::make_unique<Form1>(boxes, path);
        loaded = form->Form_Load();
        clivara::operations::enableRecovery(*form);
        form->showAndActivate();
        QTest::qWait(0);
    }
    void add(const QString& name) {
        for (int n = 1; n <= 13; ++n) form->setFieldText(n, n == 1 ? name : QString());
        boxes.answers = {true};
        form->mnuA->trigger();
    }
    ScriptedBoxes boxes;
    std::filesystem::path path;
    std::unique_ptr<Form1> form;
    bool loaded = false;
};

QStringList customers(const std::filesystem::path& archive) {
    const Workbook book = Workbook::open(archive);
    QStringList out;
    for (int row = 2; !book.sheet("Clienti")->text(row, 1).empty(); ++row) {
        out << QString::fromStdString(book.sheet("Clienti")->text(row, 1) + "/" +
                                      book.sheet("Clienti")->text(row, 2));
    }
    return out;
}

}  // namespace

class DeskSaveTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void anotherDesksSaveIsKeptAndOursMergedOntoIt() {
        QTemporaryDir dir;
        const std::filesystem::path path =
            writeArchive(dir, {{}, {{"Alfa", "40"}, {"Beta", "41"}}, "41"});
        Desk here(path);
        QVERIFY(here.loaded);
        here.add(QStringLiteral("Gamma"));  // 42 here

        // The other desk (another computer, its own journal) adds Delta as 42 and saves.
        Workbook there = Workbook::open(path);
        there.sheet("Clienti")->setText(4, 1, "Delta");
        there.sheet("Clienti")->setText(4, 2, "42");
        there.sheet("Codici")->setText(2, 1, "42");
        there.save(path);

        const std::size_t before = here.boxes.shown.size();
        here.form->MnEsci->trigger();
        QVERIFY(!here.form->isVisible());
        QCOMPARE(customers(path), (QStringList{"Alfa/40", "Beta/41", "Delta/42", "Gamma/43"}));
        QCOMPARE(Workbook::open(path).sheet("Codici")->text(2, 1), std::string("43"));
        QCOMPARE(here.boxes.shown.size(), before + 1);
        const QString report = here.boxes.shown.back().text;
        QVERIFY2(report.contains(QStringLiteral("aggiunti: Gamma")) &&
                     report.contains(QStringLiteral("Gamma ha ora l'ID 43 (qui era 42)")),
                 qPrintable(report));
    }

    // The merged workbook is another one: a step taken on ours would undo the wrong rows.
    void aMergeLeavesNothingToTakeBack() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{}, {{"Alfa", "40"}}, "40"});
        Desk here(path);
        QVERIFY(here.loaded);
        here.add(QStringLiteral("Gamma"));
        QVERIFY(here.form->mnuAnnulla->isEnabled());
        Workbook there = Workbook::open(path);
        there.sheet("Clienti")->setText(3, 1, "Delta");
        there.sheet("Clienti")->setText(3, 2, "41");
        there.sheet("Codici")->setText(2, 1, "41");
        there.save(path);

        QVERIFY(!clivara::operations::mergeOtherDesksSave(*here.form).isEmpty());
        QVERIFY(!here.form->mnuAnnulla->isEnabled());
        QCOMPARE(here.form->mnuAnnulla->text(), QStringLiteral("Annulla"));
    }

    void aHeldFileIsWaitedForThenNamedAsTheCause() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{"Alfa"}});
        const Workbook book = Workbook::open(path);
        ScriptedBoxes boxes;

        // Held for a moment: saved once it is free, the box shown meanwhile and gone after.
        clivara::archive::setWriteFailureForTesting(EEXIST);
        std::thread reader([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(600));
            clivara::archive::setWriteFailureForTesting(0);
        });
        QVERIFY_THROWS_NO_EXCEPTION(clivara::operations::saveWaitingForReaders(
            book, path, boxes, nullptr, std::chrono::milliseconds(5000)));
        reader.join();
        QCOMPARE(boxes.shown.size(), 1u);
        QCOMPARE(boxes.shown[0].kind, QStringLiteral("busy"));
        QCOMPARE(boxes.shown[0].text, QStringLiteral("Salvataggio in corso…"));
        QVERIFY(!boxes.busy);

        // Held for longer than the wait: the cause in Italian, no errno.
        const QByteArray bytes = fileBytes(path);
        clivara::archive::setWriteFailureForTesting(EEXIST);
        QString message;
        try {
            clivara::operations::saveWaitingForReaders(book, path, boxes, nullptr,
                                                       std::chrono::milliseconds(300));
        } catch (const std::exception& error) {
            message = QString::fromUtf8(error.what());
        }
        clivara::archive::setWriteFailureForTesting(0);
        QVERIFY2(message.contains(QStringLiteral("l'archivio è aperto su un altro computer")) &&
                     !message.contains(QStringLiteral("17")),
                 qPrintable(message));
        QCOMPARE(fileBytes(path), bytes);
        QVERIFY(!boxes.busy);

        // Any other failure is not waited for.
        clivara::archive::setWriteFailureForTesting(ENOSPC);
        const auto start = std::chrono::steady_clock::now();
        QVERIFY_THROWS_EXCEPTION(
            std::exception, clivara::operations::saveWaitingForReaders(book, path, boxes, nullptr));
        clivara::archive::setWriteFailureForTesting(0);
        QVERIFY(std::chrono::steady_clock::now() - start < std::chrono::seconds(2));
    }
};

QTEST_MAIN(DeskSaveTest)
#include "desk_save_test.moc"
