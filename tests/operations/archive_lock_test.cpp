// The archive's locks: one program at a time, a lock left by a dead process taken over, an
// office suite's lock named and asked about (No leaves everything as it was), and the
// LibreOffice-form lock left while the program runs.
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "archive_on_disk.h"
#include "operations/archive_lock.h"

using Lock = clivara::operations::ArchiveLock;
using clivara::operations::lockArchiveForUse;

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
    void secondProgramIsRefusedAndLocksGoAtExit() {
        Folder f;
        const QByteArray archiveBytes = fileBytes(f.archive);
        {
            Lock first(f.archive);
            QVERIFY(lockArchiveForUse(first, f.boxes));
            QVERIFY(f.boxes.shown.empty());
            const QByteArray suiteLock = fileBytes(Lock::libreOfficeLockPath(f.archive));
            QVERIFY2(suiteLock.startsWith("Clivara 2008,") && suiteLock.endsWith(";") &&
                         suiteLock.split(',').size() == 5 && suiteLock.split(',')[2] == thisHost(),
                     suiteLock.constData());

            Lock second(f.archive);
            QVERIFY(!lockArchiveForUse(second, f.boxes));
            QCOMPARE(f.boxes.shown.size(), 1u);
            QCOMPARE(f.boxes.shown[0].kind, QStringLiteral("ok"));
            QVERIFY(f.boxes.shown[0].text.contains(text(f.archive)));
            QVERIFY(f.boxes.shown[0].text.contains(QStringLiteral("in uso")));
            // The refused program removed nothing of the first one's.
            QCOMPARE(folderEntries(f.dir).size(), 3);
        }
        QCOMPARE(folderEntries(f.dir), QStringList{QStringLiteral("Archivio.xls")});
        QCOMPARE(fileBytes(f.archive), archiveBytes);
    }

    void staleLocksAreTakenOver() {
        Folder f;
        QProcess finished;
        finished.start(QStringLiteral("true"));
        QVERIFY(finished.waitForFinished());
        const qint64 deadPid = finished.processId() > 0 ? finished.processId() : 999999;
        writeFile(Lock::ownLockPath(f.archive),
                  QByteArray::number(deadPid) + '\n' + thisHost() + '\n');
        // Our own LibreOffice-form lock, left behind by the same crash: no question.
        writeFile(Lock::libreOfficeLockPath(f.archive),
                  "Clivara 2008,mario,altro,01.01.2024 10:00,file:///home/mario;");
        Lock lock(f.archive);
        QVERIFY(lockArchiveForUse(lock, f.boxes));
        QVERIFY(f.boxes.shown.empty());
        QVERIFY(fileBytes(Lock::ownLockPath(f.archive))
                    .startsWith(QByteArray::number(QCoreApplication::applicationPid()) + '\n'));
        lock.release();
        QCOMPARE(folderEntries(f.dir), QStringList{QStringLiteral("Archivio.xls")});
    }

    void lockOfAnotherComputerIsRespected() {
        Folder f;
        writeFile(Lock::ownLockPath(f.archive), "1234\naltro-computer\n");
        Lock lock(f.archive);
        QCOMPARE(lock.acquire(), Lock::Outcome::InUse);
        QVERIFY(lock.message().contains(QStringLiteral("altro-computer")));
    }

    void officeSuiteLockIsNamedAndNoLeavesEverything_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("holder");
        QTest::newRow("LibreOffice")
            << ".~lock.Archivio.xls#"
            << QByteArray(
                   "Maria Bianchi,maria,ufficio-2,05.03.2025 09:12,file:///home/maria/"
                   ".config/libreoffice/4;")
            << "Maria Bianchi (computer ufficio-2)";
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

    void officeSuiteLockIsNamedAndNoLeavesEverything() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, holder);
        Folder f;
        const std::filesystem::path suiteLock = f.archive.parent_path() / file.toStdString();
        writeFile(suiteLock, content);
        const QStringList before = folderEntries(f.dir);
        const QByteArray archiveBytes = fileBytes(f.archive);

        Lock declined(f.archive);
        f.boxes.answers = {false};
        QVERIFY(!lockArchiveForUse(declined, f.boxes));
        QCOMPARE(f.boxes.shown.size(), 1u);
        QCOMPARE(f.boxes.shown[0].kind, QStringLiteral("yesno-default-no"));
        QVERIFY2(f.boxes.shown[0].text.contains(holder), qPrintable(f.boxes.shown[0].text));
        QCOMPARE(folderEntries(f.dir), before);
        QCOMPARE(fileBytes(f.archive), archiveBytes);

        // Yes opens it; the suite's own lock stays as it was, also after the exit.
        {
            Lock accepted(f.archive);
            f.boxes.answers = {true};
            QVERIFY(lockArchiveForUse(accepted, f.boxes));
        }
        QCOMPARE(folderEntries(f.dir), before);
        QCOMPARE(fileBytes(suiteLock), content);
    }
};

QTEST_MAIN(ArchiveLockTest)
#include "archive_lock_test.moc"
