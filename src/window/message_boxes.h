#pragma once

#include <QString>

class QFont;
class QMessageBox;
class QWidget;

// The width a box needs for the window manager to show its title whole: the title in the
// bold face of `font` and room for the title bar's icon and buttons.
int titleBarWidth(const QString& title, const QFont& font);

// Makes `box` at least as wide as its title needs.
void fitTitle(QMessageBox& box);

// Every message box of the program goes through this interface, so that tests can answer
// them. The real implementation shows modal QMessageBoxes without icon.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Yes and No buttons, Yes the default; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& title, const QString& text) = 0;
    // Yes and No buttons, No the default (Enter and Esc answer No); true for Yes. Used where
    // a hasty Enter must leave everything untouched. Without an override it answers No.
    virtual bool askYesNoDefaultNo(QWidget* /*parent*/, const QString& /*title*/,
                                   const QString& /*text*/) {
        return false;
    }
    // OK button only.
    virtual void inform(QWidget* parent, const QString& title, const QString& text) = 0;
};

// Real modal message boxes.
class ModalMessageBoxes : public MessageBoxes {
  public:
    bool askYesNo(QWidget* parent, const QString& title, const QString& text) override;
    bool askYesNoDefaultNo(QWidget* parent, const QString& title, const QString& text) override;
    void inform(QWidget* parent, const QString& title, const QString& text) override;
};
