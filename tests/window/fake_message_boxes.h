#pragma once

#include <QList>
#include <QString>

#include "window/message_boxes.h"

// Answers questions from a queue (Yes when it runs dry) and records every box shown.
class FakeMessageBoxes : public MessageBoxes {
  public:
    struct Box {
        QString kind;  // "yesno", "yesno-default-no" or "ok"
        QString title;
        QString text;
    };

    QList<bool> answers;
    QList<Box> shown;

    bool askYesNo(QWidget*, const QString& title, const QString& text) override {
        shown.append({QStringLiteral("yesno"), title, text});
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    bool askYesNoDefaultNo(QWidget*, const QString& title, const QString& text) override {
        shown.append({QStringLiteral("yesno-default-no"), title, text});
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    void inform(QWidget*, const QString& title, const QString& text) override {
        shown.append({QStringLiteral("ok"), title, text});
    }
};
