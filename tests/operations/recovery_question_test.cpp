// The question at start-up after a run that ended without "Esci", on a real Form1 (offscreen):
// Yes gives back the register of the last confirmed change, No keeps it in a dated file, an
// archive changed meanwhile is never merged with it; "Esci" then saves, backs up the file it
// replaces and drops the journal, and rewrites nothing when nothing changed.
#include <signal.h>
#include <sys/resource.h>

#include <QDir>
#include <QLineEdit>

#include "archive_on_disk.h"
#include "operations/recovery.h"
#include "register/archive_backup.h"
#include "register/recovery_journal.h"

using clivara::archive::Workbook;
using clivara::customers::RecoveryJournal;
using clivara::customers::RegisterChange;

namespace {

// An earlier run that added "Gamma" with the next identifier and was then killed.
void leaveAJournalBehind(const std::filesystem::path& archive) {
    Workbook book = Workbook::open(archive);
    RecoveryJournal journal(archive, *clivara::customers::statArchive(archive));
    RegisterChange change;
    change.kind = RegisterChange::Kind::Addition;
    change.row = 4;
    change.fields[0] = "Gamma";
    change.fields[1] = "42";
    change.counter = "42";
    clivara::customers::applyChange(book, change);
    journal.record(book, change);
    journal.close();
}

// The program's start on an archive: load, the journal, the question, the window.
struct Restart {
    explicit Restart(std::filesystem::path archive, std::deque<bool> answers = {},
                     const std::string& takenOverFrom = {})
        : path(std::move(archive)) {
        boxes.answers = std::move(answers);
        form = std::make_unique<Form1>(boxes, path);
        loaded = form->Form_Load();
        if (loaded) {
            clivara::operations::enableRecovery(*form);
            clivara::operations::offerRecovery(*form, takenOverFrom);
            form->showAndActivate();
            QTest::qWait(0);
        }
    }
    QStringList list() const {
        QStringList out;
        for (int i = 0; i < form->Combo1->count(); ++i) out << form->Combo1->itemText(i);
        return out;
    }
    ScriptedBoxes boxes;
    std::filesystem::path path;
    std::unique_ptr<Form1> form;
    bool loaded = false;
};

QStringList filesIn(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

std::filesystem::path recoveredCopyIn(const QTemporaryDir& dir) {
    for (const QString& name : filesIn(dir.path())) {
        if (name.contains(QStringLiteral("-recupero-"))) {
            return std::filesystem::path(dir.filePath(name).toStdString());
        }
    }
    return {};
}

}  // namespace

class RecoveryQuestionTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void yesGivesBackTheLastConfirmedChangeAndEsciSavesIt() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{"Alfa", "Beta"}});
        leaveAJournalBehind(path);
        const QByteArray before = fileBytes(path);

        Restart run(path, {true});
        QVERIFY(run.loaded);
        QCOMPARE(run.boxes.shown.size(), 1u);
        QCOMPARE(run.boxes.shown[0].kind, QStringLiteral("yesno"));
        QVERIFY2(
            run.boxes.shown[0].text.contains(QStringLiteral("c'è 1 modifica non salvata del ")),
            qPrintable(run.boxes.shown[0].text));
        QVERIFY(run.boxes.shown[0].text.endsWith(QStringLiteral("Recuperarla?")));
        QCOMPARE(run.list(), (QStringList{"Alfa", "Beta", "Gamma"}));
        QCOMPARE(run.form->fieldText(2), QStringLiteral("43"));
        // The archive file itself is written only at "Esci".
        QCOMPARE(fileBytes(path), before);

        run.form->MnEsci->trigger();
        QVERIFY(!run.form->isVisible());
        const Workbook saved = Workbook::open(path);
        QCOMPARE(saved.sheet("Clienti")->text(4, 1), std::string("Gamma"));
        QCOMPARE(saved.sheet("Codici")->text(2, 1), std::string("42"));
        QVERIFY(!std::filesystem::exists(RecoveryJournal::pathFor(path)));
        // The file the save replaced is the backup.
        const QString backups =
            QString::fromStdString(clivara::customers::backupFolder(path).string());
        const QStringList kept = filesIn(backups);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(fileBytes(std::filesystem::path((backups + "/" + kept[0]).toStdString())), before);
    }

    // After a take-over the journal of the desk that ended badly is offered, naming its
    // computer, and becomes this computer's.
    void theJournalOfADeskTakenOverNamesItsComputer() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{"Alfa", "Beta"}});
        leaveAJournalBehind(path);
        std::filesystem::rename(RecoveryJournal::pathFor(path),
                                RecoveryJournal::pathFor(path, "pc-spento"));

        Restart run(path, {true}, "pc-spento");
        QCOMPARE(run.boxes.shown.size(), 1u);
        QVERIFY2(run.boxes.shown[0].text.startsWith(
                     QStringLiteral("Il programma sul computer pc-spento non era stato chiuso")),
                 qPrintable(run.boxes.shown[0].text));
        QCOMPARE(run.list(), (QStringList{"Alfa", "Beta", "Gamma"}));
        QVERIFY(!std::filesystem::exists(RecoveryJournal::pathFor(path, "pc-spento")));
    }

    void noKeepsTheChangesInADatedFileAndStartsOnTheArchive() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{"Alfa", "Beta"}});
        leaveAJournalBehind(path);
        const QByteArray before = fileBytes(path);

        Restart run(path, {false});
        QCOMPARE(run.boxes.shown.size(), 2u);
        QCOMPARE(run.boxes.shown[1].kind, QStringLiteral("ok"));
        const std::filesystem::path copy = recoveredCopyIn(dir);
        QVERIFY(!copy.empty());
        QVERIFY2(run.boxes.shown[1].text.contains(QString::fromStdString(copy.string())),
                 qPrintable(run.boxes.shown[1].text));
        QCOMPARE(Workbook::open(copy).sheet("Clienti")->text(4, 1), std::string("Gamma"));
        QCOMPARE(run.list(), (QStringList{"Alfa", "Beta"}));
        QCOMPARE(run.form->fieldText(2), QStringLiteral("42"));
        QVERIFY(!std::filesystem::exists(RecoveryJournal::pathFor(path)));
        QCOMPARE(fileBytes(path), before);
    }

    void anArchiveChangedMeanwhileIsNotMergedWithTheOldChanges() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{"Alfa", "Beta"}});
        leaveAJournalBehind(path);
        // The office suite saved the archive after the crash.
        {
            Workbook other = Workbook::open(path);
            other.sheet("Clienti")->setText(3, 1, "Beta cambiata");
            other.save(path);
        }
        const QByteArray changed = fileBytes(path);

        Restart run(path);
        QCOMPARE(run.boxes.shown.size(), 1u);
        QCOMPARE(run.boxes.shown[0].kind, QStringLiteral("ok"));
        QVERIFY(run.boxes.shown[0].text.contains(QStringLiteral("è stato cambiato")));
        QCOMPARE(run.list(), (QStringList{"Alfa", "Beta cambiata"}));
        const std::filesystem::path copy = recoveredCopyIn(dir);
        QVERIFY(!copy.empty());
        const Workbook recovered = Workbook::open(copy);
        QCOMPARE(recovered.sheet("Clienti")->text(3, 1), std::string("Beta"));
        QCOMPARE(recovered.sheet("Clienti")->text(4, 1), std::string("Gamma"));
        QCOMPARE(fileBytes(path), changed);
    }

    void aBackupThatCannotBeWrittenIsReportedButTheSaveGoesOn() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{"Alfa", "Beta"}});
        leaveAJournalBehind(path);
        QFile blocker(QString::fromStdString(clivara::customers::backupFolder(path).string()));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();

        Restart run(path, {true});
        run.form->MnEsci->trigger();
        QVERIFY(!run.form->isVisible());
        QCOMPARE(run.boxes.shown.size(), 2u);
        QVERIFY2(run.boxes.shown[1].text.contains(QStringLiteral("La copia di sicurezza")),
                 qPrintable(run.boxes.shown[1].text));
        QCOMPARE(Workbook::open(path).sheet("Clienti")->text(4, 1), std::string("Gamma"));
    }

    void aFailedSaveLeavesNoBackupAndItsRetryMakesOne() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{"Alfa", "Beta"}});
        leaveAJournalBehind(path);
        Restart run(path, {true});
        const QByteArray before = fileBytes(path);
        const QString backups =
            QString::fromStdString(clivara::customers::backupFolder(path).string());

        // No file may grow past a few bytes: the save fails, the backup (a link) would not.
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = saved;
        tiny.rlim_cur = 512;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
        run.form->MnEsci->trigger();
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
        ::signal(SIGXFSZ, oldHandler);
        QVERIFY(run.form->isVisible());
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(filesIn(backups), QStringList());

        run.form->MnEsci->trigger();
        QVERIFY(!run.form->isVisible());
        QCOMPARE(filesIn(backups).size(), 1);
        QCOMPARE(
            fileBytes(clivara::customers::backupFolder(path) / filesIn(backups)[0].toStdString()),
            before);
    }

    void esciWithoutAChangeLeavesTheFileAlone() {
        QTemporaryDir dir;
        const std::filesystem::path path = writeArchive(dir, {{"Alfa", "Beta"}});
        const auto modified = std::filesystem::last_write_time(path);
        Restart run(path);
        QVERIFY(run.boxes.shown.empty());
        run.form->MnEsci->trigger();
        QVERIFY(!run.form->isVisible());
        QCOMPARE(std::filesystem::last_write_time(path), modified);
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("Archivio.xls")});
        QVERIFY(!std::filesystem::exists(clivara::customers::backupFolder(path)));
    }
};

QTEST_MAIN(RecoveryQuestionTest)
#include "recovery_question_test.moc"
