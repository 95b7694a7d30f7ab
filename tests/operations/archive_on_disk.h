#pragma once

// Test support for the start-up, list and shut-down tests: an archive written with the
// workbook layer into a temporary folder, a window on it, and message boxes answered from
// a script.

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "archive/book/new_archive.h"
#include "archive/workbook.h"
#include "window/form1.h"
#include "window/message_boxes.h"

struct ShownBox {
    QString kind;  // "yesno", "yesno-default-no" or "ok"
    QString title;
    QString text;
};

class ScriptedBoxes : public MessageBoxes {
  public:
    bool askYesNo(QWidget*, const QString& title, const QString& text) override {
        shown.push_back({QStringLiteral("yesno"), title, text});
        return next(true);
    }
    bool askYesNoDefaultNo(QWidget*, const QString& title, const QString& text) override {
        shown.push_back({QStringLiteral("yesno-default-no"), title, text});
        return next(false);
    }
    void inform(QWidget*, const QString& title, const QString& text) override {
        shown.push_back({QStringLiteral("ok"), title, text});
    }

    std::deque<bool> answers;
    std::vector<ShownBox> shown;

  private:
    bool next(bool fallback) {
        if (answers.empty()) {
            return fallback;
        }
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// "Clienti" column A from row 1 (an empty text leaves the cell empty; row 1 keeps the
// heading when the first text is null), full rows from row 2 where given, and Codici A2.
struct ArchiveContent {
    QStringList columnA;                // rows 2, 3, ... of column A
    std::vector<QStringList> fullRows;  // overrides rows 2, 3, ... across A..M
    std::string counter = "41";
    bool emptyHeading = false;
};

inline std::filesystem::path writeArchive(const QTemporaryDir& dir, const ArchiveContent& content) {
    clivara::archive::Workbook book = clivara::archive::emptyArchive();
    clivara::archive::Sheet& clienti = *book.sheet("Clienti");
    if (content.emptyHeading) {
        clienti.setText(1, 1, "");
    }
    for (int i = 0; i < content.columnA.size(); ++i) {
        clienti.setText(i + 2, 1, content.columnA[i].toStdString());
    }
    for (std::size_t i = 0; i < content.fullRows.size(); ++i) {
        for (int column = 1; column <= content.fullRows[i].size(); ++column) {
            clienti.setText(static_cast<int>(i) + 2, column,
                            content.fullRows[i][column - 1].toStdString());
        }
    }
    book.sheet("Codici")->setText(2, 1, content.counter);
    const std::filesystem::path path =
        std::filesystem::path(dir.path().toStdString()) / "Archivio.xls";
    book.save(path);
    return path;
}

inline QByteArray fileBytes(const std::filesystem::path& path) {
    QFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A window loaded on an archive and shown, its first activation done.
struct OpenWindow {
    explicit OpenWindow(const ArchiveContent& content) : path(writeArchive(dir, content)) {
        form = std::make_unique<Form1>(boxes, path);
        QVERIFY_THROWS_NO_EXCEPTION(loaded = form->Form_Load());
        if (loaded) {
            form->showAndActivate();
            QVERIFY(QTest::qWaitForWindowActive(form.get()));
            QTest::qWait(0);
        }
    }

    QStringList list() const {
        QStringList out;
        for (int i = 0; i < form->Combo1->count(); ++i) {
            out << form->Combo1->itemText(i);
        }
        return out;
    }

    ScriptedBoxes boxes;
    QTemporaryDir dir;
    std::filesystem::path path;
    std::unique_ptr<Form1> form;
    bool loaded = false;
};

inline const QString kTitle = QStringLiteral("Clivara 2008");
inline const QString kHeading = QString::fromStdString(clivara::archive::customerHeadings()[0]);
