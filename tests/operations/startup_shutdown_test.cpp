// Start-up and shut-down on a real Form1 (offscreen): the archive checks of the load, the
// first activation, "Esci" with a save that works and one that fails, a signal that ends
// the program, and the guard that puts the archive back after a failed operation.
#include <signal.h>

#include <QAction>
#include <QDate>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <stdexcept>

#include "archive_on_disk.h"
#include "operations/guarded_operation.h"
#include "operations/shutdown.h"
#include "operations/shutdown_signals.h"

using clivara::archive::Workbook;

class StartupShutdownTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void missingArchiveShowsTheTwoLineMessage() {
        QTemporaryDir dir;
        const std::filesystem::path path =
            std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
        ScriptedBoxes boxes;
        Form1 form(boxes, path);
        QVERIFY(!form.Form_Load());
        QCOMPARE(boxes.shown.size(), 1u);
        QCOMPARE(boxes.shown[0].kind, QStringLiteral("ok"));
        QCOMPARE(boxes.shown[0].title, kTitle);
        QCOMPARE(boxes.shown[0].text,
                 QStringLiteral("Impossibile eseguire il programma\nIl file ") + dir.path() +
                     QStringLiteral("/Archivio.xls non è stato trovato."));
        QVERIFY(!form.isVisible());
        QVERIFY(!form.ArchiveBook);
    }

    void unusableArchiveIsNamedAndLeftUntouched_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        QTest::newRow("random bytes") << QByteArray(3000, '\x5a') << QString();
        QTest::newRow("empty file") << QByteArray() << QString();
        QByteArray textCounter;
        {
            Workbook book = clivara::archive::emptyArchive();
            book.sheet("Codici")->setText(2, 1, "quarantuno");
            const std::vector<std::uint8_t> raw = book.toBytes();
            textCounter = QByteArray(reinterpret_cast<const char*>(raw.data()),
                                     static_cast<qsizetype>(raw.size()));
        }
        QTest::newRow("counter not a number") << textCounter << QStringLiteral("A2");
    }

    void unusableArchiveIsNamedAndLeftUntouched() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const std::filesystem::path path =
            std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
        {
            QFile file(QString::fromStdString(path.string()));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        ScriptedBoxes boxes;
        Form1 form(boxes, path);
        QVERIFY(!form.Form_Load());
        QCOMPARE(boxes.shown.size(), 1u);
        QCOMPARE(boxes.shown[0].title, kTitle);
        QVERIFY2(boxes.shown[0].text.contains(QStringLiteral("Archivio.xls")),
                 qPrintable(boxes.shown[0].text));
        QVERIFY(!boxes.shown[0].text.contains(QStringLiteral("non è stato trovato")));
        QVERIFY(boxes.shown[0].text.contains(problem));
        QCOMPARE(fileBytes(path), bytes);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("Archivio.xls")});
    }

    void firstActivationFillsListAndFields_data() {
        QTest::addColumn<QStringList>("columnA");
        QTest::addColumn<QString>("counter");
        QTest::addColumn<QStringList>("list");
        QTest::addColumn<QString>("nextId");
        QTest::addColumn<bool>("focusOnName");
        QTest::newRow("no customers, empty counter")
            << QStringList{} << QString() << QStringList{} << "1" << false;
        QTest::newRow("one customer")
            << QStringList{"Alfa"} << "41" << QStringList{"Alfa"} << "42" << false;
        QTest::newRow("gap after three")
            << QStringList{"Alfa", "Beta", "Gamma", "", "", "Zeta"} << "0"
            << QStringList{"Alfa", "Beta", "Gamma"} << "1" << true;
        QTest::newRow("empty A2, names below")
            << QStringList{"", "Beta", "Gamma"} << "7" << QStringList{} << "8" << false;
    }

    void firstActivationFillsListAndFields() {
        QFETCH(QStringList, columnA);
        QFETCH(QString, counter);
        QFETCH(QStringList, list);
        QFETCH(QString, nextId);
        QFETCH(bool, focusOnName);
        OpenWindow w({columnA, {}, counter.toStdString()});
        QVERIFY(w.loaded);
        QCOMPARE(w.list(), list);
        QCOMPARE(w.form->comboText(), QString());
        QCOMPARE(w.form->fieldText(2), nextId);
        QCOMPARE(w.form->fieldText(3), QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d$"))
                    .match(w.form->Label[13]->text())
                    .hasMatch());
        QCOMPARE(w.form->Text1->hasFocus(), focusOnName);
        QCOMPARE(w.form->activeSheet, QStringLiteral("Clienti"));
        QVERIFY(w.boxes.shown.empty());
    }

    void windowIsCentredOnTheScreen() {
        OpenWindow w({{"Alfa", "Beta"}});
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        const QRect frame = w.form->frameGeometry();
        // The frame is known only once shown: allow for its width.
        const int slack = frame.height() - w.form->geometry().height() + 1;
        QVERIFY(qAbs(frame.center().x() - area.center().x()) <= slack);
        QVERIFY(qAbs(frame.center().y() - area.center().y()) <= slack);
    }

    void esciSavesAndAFailedSaveKeepsEverything() {
        OpenWindow w({{"Alfa", "Beta"}});
        w.form->ArchiveBook->sheet("Clienti")->setText(4, 1, "Gamma");
        const QByteArray before = fileBytes(w.path);

        // The folder is gone (a read-only folder would not stop root): the save fails.
        const QString moved = w.dir.path() + QStringLiteral("-altrove");
        QVERIFY(QDir().rename(w.dir.path(), moved));
        w.form->MnEsci->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QCOMPARE(w.boxes.shown[0].kind, QStringLiteral("ok"));
        QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("\"Esci\"")));
        QVERIFY(w.form->isVisible());
        QCOMPARE(w.form->ArchiveBook->sheet("Clienti")->text(4, 1), std::string("Gamma"));
        QVERIFY(QDir().rename(moved, w.dir.path()));
        QCOMPARE(fileBytes(w.path), before);

        // Tried again, it saves and the window goes.
        w.form->MnEsci->trigger();
        QCOMPARE(w.boxes.shown.size(), 1u);
        QVERIFY(!w.form->isVisible());
        const Workbook saved = Workbook::open(w.path);
        QCOMPARE(saved.sheet("Clienti")->text(4, 1), std::string("Gamma"));
        QCOMPARE(saved.sheet("Clienti")->text(2, 1), std::string("Alfa"));
    }

    void readOnlyWindowSaysSoAndEsciLeavesTheFileAlone() {
        OpenWindow w({{"Alfa", "Beta"}});
        w.form->setArchiveReadOnly(true);
        QCOMPARE(w.form->windowTitle(), QStringLiteral("Clivara 2008 - sola lettura"));
        for (QAction* entry : {w.form->mnuA, w.form->mnuM, w.form->mnuE}) {
            QVERIFY(!entry->isEnabled());
        }
        QVERIFY(w.form->MnEsci->isEnabled());
        w.form->ArchiveBook->sheet("Clienti")->setText(4, 1, "Gamma");
        const QByteArray before = fileBytes(w.path);
        w.form->MnEsci->trigger();
        QVERIFY(w.boxes.shown.empty());
        QVERIFY(!w.form->isVisible());
        QCOMPARE(fileBytes(w.path), before);
        QCOMPARE(
            QDir(w.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{QStringLiteral("Archivio.xls")});

        w.form->setArchiveReadOnly(false);
        QCOMPARE(w.form->windowTitle(), kTitle);
        QVERIFY(w.form->mnuA->isEnabled());
    }

    void closeRequestIsRefused() {
        OpenWindow w({{"Alfa", "Beta"}});
        QVERIFY(!w.form->close());
        QVERIFY(w.form->isVisible());
    }

    void terminationSignalSavesTheArchive() {
        OpenWindow w({{"Alfa", "Beta"}});
        w.form->ArchiveBook->sheet("Clienti")->setText(4, 1, "Gamma");
        int received = 0;
        clivara::operations::ShutdownSignals signals([&](int number) {
            received = number;
            clivara::operations::endOnRequest(*w.form, number);
        });
        QVERIFY(signals.installed());
        ::raise(SIGTERM);
        QTRY_COMPARE(received, SIGTERM);
        QCOMPARE(Workbook::open(w.path).sheet("Clienti")->text(4, 1), std::string("Gamma"));
        QVERIFY(!w.form->isVisible());
    }

    void failedOperationPutsTheArchiveBack() {
        OpenWindow w({{"Alfa", "Beta"}});
        const std::vector<std::uint8_t> before = w.form->ArchiveBook->toBytes();
        const bool done = clivara::operations::guardedChange(*w.form, [&] {
            w.form->ArchiveBook->sheet("Clienti")->setText(2, 1, "Cambiato");
            w.form->activeSheet = QStringLiteral("Codici");
            throw std::runtime_error("guasto simulato");
        });
        QVERIFY(!done);
        QVERIFY(w.form->ArchiveBook->toBytes() == before);
        QCOMPARE(w.form->activeSheet, QStringLiteral("Clienti"));
        QCOMPARE(w.boxes.shown.size(), 1u);
        QVERIFY(w.boxes.shown[0].text.contains(QStringLiteral("guasto simulato")));
        QVERIFY(w.form->isVisible());
    }
};

QTEST_MAIN(StartupShutdownTest)
#include "startup_shutdown_test.moc"
