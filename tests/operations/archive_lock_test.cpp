// The start-up's choice of how to open the archive: one desk at a time changes it, the others
// are offered the read-only opening with who holds it; a lock left by a dead process is taken
// over, one of another computer that went silent is offered for take-over; an office suite's
// lock is named; a read-only file is caught; the LibreOffice-form lock is left while changing.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>
#include "archive_on_disk.h"

#include "operations/archive_access.h"
#include "operations/archive_lock.h"

using Lock = clivara::operations::ArchiveLock;
using clivara::operations::ArchiveAccess;
using clivara::operations::chooseArchiveAccess;
using clivara::operations::DeskLock;
using clivara::operations::kCancel;
using clivara::operations::kOpenAnyway;
using clivara::operations::kOpenReadOnly;
using clivara::operations::kTakeOver;

namespace {

QString text(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

void writeFile(const std::filesystem::path& path, const QByteArray& bytes) {
    QFile file(text(path));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QStringList folderEntries(const QTemporaryDir& dir) {
    QStringList entries =
        QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    entries.sort();
    return entries;
}

QByteArray thisHost() {
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return QByteArray(name);
}

// A lock as another desk leaves it: the directory with its holder's text, its last sign of
// life `silentFor` ago.
void placeLock(const std::filesystem::path& archive, const QByteArray& holder,
               std::chrono::seconds silentFor = std::chrono::seconds(0)) {
    const std::filesystem::path place = DeskLock::lockPath(archive);
    std::filesystem::create_directory(place);
    writeFile(place / "holder", holder);
    const auto then = std::chrono::system_clock::now() - silentFor;
    const timespec when{std::chrono::system_clock::to_time_t(then), 0};
    const timespec times[2] = {when, when};
    QCOMPARE(::utimensat(AT_FDCWD, (place / "holder").c_str(), times, 0), 0);
}

qint64 endedPid() {
    QProcess finished;
    finished.start(QStringLiteral("true"));
    finished.waitForFinished();
    return finished.processId() > 0 ? finished.processId() : 999999;
}

struct Folder {
    Folder() : archive(writeArchive(dir, {{"Alfa"}})) {}
    QTemporaryDir dir;
    std::filesystem::path archive;
    ScriptedBoxes boxes;
};

}  // namespace

class ArchiveLockTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void secondDeskIsOfferedReadOnlyAndLocksGoAtExit() {
        Folder f;
        const QByteArray archiveBytes = fileBytes(f.archive);
        {
            Lock first(f.archive);
            QCOMPARE(chooseArchiveAccess(first, f.boxes).access, ArchiveAccess::Change);
            QVERIFY(f.boxes.shown.empty());
            const QByteArray suiteLock = fileBytes(Lock::libreOfficeLockPath(f.archive));
            QVERIFY2(suiteLock.startsWith("Clivara 2008,") && suiteLock.endsWith(";") &&
                         suiteLock.split(',').size() == 5 && suiteLock.split(',')[2] == thisHost(),
                     suiteLock.constData());

            {
                Lock second(f.archive);
                QCOMPARE(chooseArchiveAccess(second, f.boxes).access, ArchiveAccess::ReadOnly);
                QCOMPARE(f.boxes.shown.size(), 1u);
                const ShownBox& box = f.boxes.shown[0];
                QCOMPARE(box.kind, QStringLiteral("choose"));
                QCOMPARE(box.buttons, (QStringList{kOpenReadOnly, kCancel}));
                QVERIFY2(
                    box.text.contains(text(f.archive)) &&
                        box.text.contains(QStringLiteral("già in uso")) &&
                        box.text.contains(
                            QStringLiteral("processo %1").arg(QCoreApplication::applicationPid())),
                    qPrintable(box.text));
            }
            // The read-only desk removed nothing of the first one's.
            QCOMPARE(folderEntries(f.dir).size(), 3);
        }
        QCOMPARE(folderEntries(f.dir), QStringList{QStringLiteral("Archivio.xls")});
        QCOMPARE(fileBytes(f.archive), archiveBytes);
    }

    void locksOfEndedProgramsHereAreTakenOverWithoutAQuestion_data() {
        QTest::addColumn<bool>("olderForm");
        QTest::newRow("lock directory") << false;
        QTest::newRow("lock file of earlier versions") << true;
    }

    void locksOfEndedProgramsHereAreTakenOverWithoutAQuestion() {
        QFETCH(bool, olderForm);
        Folder f;
        const QByteArray holder = QByteArray::number(endedPid()) + '\n' + thisHost() + '\n';
        if (olderForm) {
            writeFile(Lock::ownLockPath(f.archive), holder);
        } else {
            placeLock(f.archive, holder);
        }
        // Our own LibreOffice-form lock, left behind by the same crash: no question.
        writeFile(Lock::libreOfficeLockPath(f.archive),
                  "Clivara 2008,mario,altro,01.01.2024 10:00,file:///home/mario;");
        Lock lock(f.archive);
        QCOMPARE(chooseArchiveAccess(lock, f.boxes).access, ArchiveAccess::Change);
        QVERIFY(f.boxes.shown.empty());
        QVERIFY(lock.desk().held());
        QCOMPARE(DeskLock::inspect(f.archive).holder->pid, QCoreApplication::applicationPid());
        lock.release();
        QCOMPARE(folderEntries(f.dir), QStringList{QStringLiteral("Archivio.xls")});
    }

    void lockOfAnotherComputerNamesItsHolder_data() {
        QTest::addColumn<QString>("choice");
        QTest::addColumn<int>("access");
        QTest::newRow("read-only") << kOpenReadOnly << int(ArchiveAccess::ReadOnly);
        QTest::newRow("cancel") << kCancel << int(ArchiveAccess::Cancel);
        QTest::newRow("anyway") << kOpenAnyway << int(ArchiveAccess::Change);
    }

    void lockOfAnotherComputerNamesItsHolder() {
        QFETCH(QString, choice);
        QFETCH(int, access);
        Folder f;
        const QDateTime since(QDate(2025, 3, 5), QTime(9, 12));
        const QByteArray holder =
            "1234\nufficio-2\nuser=maria\nsince=" + QByteArray::number(since.toSecsSinceEpoch()) +
            "\ntoken=abc\n";
        placeLock(f.archive, holder);
        const QStringList before = folderEntries(f.dir);
        {
            Lock lock(f.archive);
            f.boxes.choices = {choice};
            QCOMPARE(int(chooseArchiveAccess(lock, f.boxes).access), access);
            QCOMPARE(f.boxes.shown.size(), 1u);
            const ShownBox& box = f.boxes.shown[0];
            QCOMPARE(box.buttons, (QStringList{kOpenReadOnly, kOpenAnyway, kCancel}));
            QVERIFY2(box.text.contains(QStringLiteral(
                         "sul computer ufficio-2 (utente maria, dalle 09:12 del 05/03/2025)")),
                     qPrintable(box.text));
        }
        // Whatever the answer, the other desk's lock stays as it was.
        QCOMPARE(fileBytes(DeskLock::lockPath(f.archive) / "holder"), holder);
        QCOMPARE(folderEntries(f.dir), before);
    }

    void silentLockOfAnotherComputerIsOfferedForTakeOver() {
        Folder f;
        placeLock(f.archive, "1234\npc-spento\nuser=gino\nsince=1700000000\ntoken=x\n",
                  std::chrono::minutes(10));
        Lock lock(f.archive);
        f.boxes.choices = {kTakeOver};
        const auto decision = chooseArchiveAccess(lock, f.boxes);
        QCOMPARE(decision.access, ArchiveAccess::Change);
        QCOMPARE(decision.takenOverFrom, std::string("pc-spento"));
        QCOMPARE(f.boxes.shown.size(), 1u);
        QCOMPARE(f.boxes.shown[0].buttons, (QStringList{kOpenReadOnly, kTakeOver, kCancel}));
        QVERIFY2(f.boxes.shown[0].text.contains(QStringLiteral("pc-spento")) &&
                     f.boxes.shown[0].text.contains(QStringLiteral("non dà segni di vita")),
                 qPrintable(f.boxes.shown[0].text));
        QVERIFY(lock.desk().held());
        QCOMPARE(DeskLock::inspect(f.archive).holder->host, DeskLock::thisHost());
    }

    void readOnlyFileIsCaughtAtStart() {
        Folder f;
        QVERIFY(::chmod(f.archive.c_str(), 0444) == 0);
        Lock lock(f.archive);
        QCOMPARE(chooseArchiveAccess(lock, f.boxes).access, ArchiveAccess::ReadOnly);
        QCOMPARE(f.boxes.shown.size(), 1u);
        QCOMPARE(f.boxes.shown[0].buttons, (QStringList{kOpenReadOnly, kCancel}));
        QVERIFY2(f.boxes.shown[0].text.contains(QStringLiteral("sola lettura")) &&
                     f.boxes.shown[0].text.contains(QStringLiteral("permesso negato")),
                 qPrintable(f.boxes.shown[0].text));
        QCOMPARE(folderEntries(f.dir), QStringList{QStringLiteral("Archivio.xls")});
    }

    void officeSuiteLockIsNamedAndCancelLeavesEverything_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("holder");
        QTest::newRow("LibreOffice")
            << ".~lock.Archivio.xls#"
            << QByteArray(
                   "Maria Bianchi,maria,ufficio-2,05.03.2025 09:12,file:///home/maria/"
                   ".config/libreoffice/4;")
            << "Maria Bianchi (computer ufficio-2) dalle 09:12 del 05/03/2025";
        QTest::newRow("LibreOffice, no name")
            << ".~lock.Archivio.xls#" << QByteArray(",gino,pc\\,1,05.03.2025 09:12,x;")
            << "gino (computer pc,1)";
        QByteArray owner(165, ' ');
        owner[0] = 5;
        owner.replace(1, 5, "Lucia");
        owner[54] = 5;
        owner[55] = 0;
        const QString wide = QStringLiteral("Lucìa");
        for (int i = 0; i < 5; ++i) {
            owner[56 + 2 * i] = static_cast<char>(wide[i].unicode() & 0xff);
            owner[57 + 2 * i] = static_cast<char>(wide[i].unicode() >> 8);
        }
        QTest::newRow("Excel") << "~$Archivio.xls" << owner << "Lucìa";
        QTest::newRow("Excel, short file")
            << "~$Archivio.xls" << QByteArray("\x05Piero") << "Piero";
        QTest::newRow("Excel, bad length")
            << "~$Archivio.xls" << QByteArray("\xffPiero") << "un utente sconosciuto";
    }

    void officeSuiteLockIsNamedAndCancelLeavesEverything() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, holder);
        Folder f;
        const std::filesystem::path suiteLock = f.archive.parent_path() / file.toStdString();
        writeFile(suiteLock, content);
        const QStringList before = folderEntries(f.dir);
        const QByteArray archiveBytes = fileBytes(f.archive);

        for (const QString& choice : {kCancel, kOpenReadOnly}) {
            Lock declined(f.archive);
            f.boxes.choices = {choice};
            QVERIFY(chooseArchiveAccess(declined, f.boxes).access != ArchiveAccess::Change);
            QCOMPARE(f.boxes.shown.back().buttons,
                     (QStringList{kOpenReadOnly, kOpenAnyway, kCancel}));
            QVERIFY2(f.boxes.shown.back().text.contains(holder),
                     qPrintable(f.boxes.shown.back().text));
            QCOMPARE(folderEntries(f.dir), before);
            QCOMPARE(fileBytes(f.archive), archiveBytes);
        }

        // "Apri comunque" opens it; the suite's own lock stays as it was, also after the exit.
        {
            Lock accepted(f.archive);
            f.boxes.choices = {kOpenAnyway};
            QCOMPARE(chooseArchiveAccess(accepted, f.boxes).access, ArchiveAccess::Change);
        }
        QCOMPARE(folderEntries(f.dir), before);
        QCOMPARE(fileBytes(suiteLock), content);
    }
};

QTEST_MAIN(ArchiveLockTest)
#include "archive_lock_test.moc"
