#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

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
    // A button for each text, in that order; Enter answers defaultButton, Esc escapeButton.
    // Returns the index of the button chosen. Without an override it answers the default.
    virtual int choose(QWidget* /*parent*/, const QString& /*title*/, const QString& /*text*/,
                       const QStringList& /*buttons*/, int defaultButton, int /*escapeButton*/) {
        return defaultButton;
    }
    // A small box without buttons that stays on screen while the program waits for something
    // (a save held up by another computer) until hideBusy(). Without an override nothing shows.
    virtual void showBusy(QWidget* /*parent*/, const QString& /*title*/, const QString& /*text*/) {}
    virtual void hideBusy() {}
};

// Real modal message boxes.
class ModalMessageBoxes : public MessageBoxes {
  public:
    bool askYesNo(QWidget* parent, const QString& title, const QString& text) override;
    bool askYesNoDefaultNo(QWidget* parent, const QString& title, const QString& text) override;
    void inform(QWidget* parent, const QString& title, const QString& text) override;
    int choose(QWidget* parent, const QString& title, const QString& text,
               const QStringList& buttons, int defaultButton, int escapeButton) override;
    void showBusy(QWidget* parent, const QString& title, const QString& text) override;
    void hideBusy() override;
    ~ModalMessageBoxes() override;

  private:
    QPointer<QWidget> busy_;  // gone with its parent, if that goes first
};
