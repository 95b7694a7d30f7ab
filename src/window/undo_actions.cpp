#include "window/undo_actions.h"

#include <QAction>
#include <QComboBox>
#include <QEvent>
#include <QHash>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTextDocument>

#include "register/change_history.h"
#include "window/form1.h"

namespace {

using clivara::customers::ChangeHistory;
using clivara::customers::RegisterChange;

// Watches the text fields: which ones the user typed into since the register last changed,
// and, for those that did not, keeps the undo keys from the field so that the menu's
// shortcuts take them.
class UndoKeyRule : public QObject {
  public:
    explicit UndoKeyRule(Form1& form) : QObject(&form) {
        setObjectName(QStringLiteral("undoKeyRule"));
        for (QWidget* control : form.controls()) {
            if (auto* combo = qobject_cast<QComboBox*>(control)) {
                if (combo->lineEdit() != nullptr) watch(combo->lineEdit());
            } else if (auto* line = qobject_cast<QLineEdit*>(control)) {
                watch(line);
            } else if (auto* text = qobject_cast<QPlainTextEdit*>(control)) {
                watch(text);
            }
        }
    }

    void registerChanged() { typed_.clear(); }
    bool allowed = true;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ShortcutOverride) return false;
        auto* key = static_cast<QKeyEvent*>(event);
        const bool undo = key->matches(QKeySequence::Undo);
        const bool redo = key->matches(QKeySequence::Redo) ||
                          key->keyCombination() == QKeyCombination(Qt::CTRL, Qt::Key_Y) ||
                          key->keyCombination() == QKeyCombination(Qt::CTRL | Qt::SHIFT, Qt::Key_Z);
        if (!undo && !redo) return false;
        if (typed_.value(watched) && fieldCan(watched, undo)) return false;  // the field's own
        // Not accepted and not delivered: the shortcut of the menu's entry runs instead.
        return allowed;
    }

  private:
    void watch(QLineEdit* line) {
        line->installEventFilter(this);
        connect(line, &QLineEdit::textEdited, this, [this, line] { typed_[line] = true; });
    }
    void watch(QPlainTextEdit* text) {
        text->installEventFilter(this);
        // Only typing adds to the document's undo stack; text put in by the program does not.
        connect(text->document(), &QTextDocument::undoCommandAdded, this,
                [this, text] { typed_[text] = true; });
    }
    static bool fieldCan(QObject* field, bool undo) {
        if (auto* line = qobject_cast<QLineEdit*>(field)) {
            return undo ? line->isUndoAvailable() : line->isRedoAvailable();
        }
        if (auto* text = qobject_cast<QPlainTextEdit*>(field)) {
            return undo ? text->document()->isUndoAvailable() : text->document()->isRedoAvailable();
        }
        return false;
    }
    QHash<QObject*, bool> typed_;
};

UndoKeyRule* ruleOf(Form1& form) {
    return form.findChild<UndoKeyRule*>(QStringLiteral("undoKeyRule"), Qt::FindDirectChildrenOnly);
}

QString kindWord(RegisterChange::Kind kind) {
    switch (kind) {
        case RegisterChange::Kind::Addition:
            return QStringLiteral("aggiunta");
        case RegisterChange::Kind::Modification:
            return QStringLiteral("modifica");
        case RegisterChange::Kind::Deletion:
            break;
    }
    return QStringLiteral("eliminazione");
}

void showEntry(QAction* action, const QString& verb, const ChangeHistory::Entry* entry,
               bool allowed) {
    action->setEnabled(allowed && entry != nullptr);
    if (entry == nullptr) {
        action->setText(verb);
        return;
    }
    action->setText(
        QStringLiteral("%1 %2 di «%3»")
            .arg(verb, kindWord(entry->change.kind), QString::fromStdString(entry->name)));
}

}  // namespace

void addUndoActions(Form1& form) {
    form.changeHistory = std::make_shared<ChangeHistory>();
    form.Mnu->addSeparator();
    form.mnuAnnulla = form.Mnu->addAction(QStringLiteral("Annulla"));
    form.mnuAnnulla->setObjectName(QStringLiteral("mnuAnnulla"));
    form.mnuAnnulla->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    form.mnuRipeti = form.Mnu->addAction(QStringLiteral("Ripeti"));
    form.mnuRipeti->setObjectName(QStringLiteral("mnuRipeti"));
    form.mnuRipeti->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    new UndoKeyRule(form);
    updateUndoActions(form);
}

void updateUndoActions(Form1& form) {
    if (form.mnuAnnulla == nullptr) return;
    UndoKeyRule* rule = ruleOf(form);
    const bool allowed = rule == nullptr || rule->allowed;
    if (rule != nullptr) rule->registerChanged();
    const ChangeHistory* history = form.changeHistory.get();
    showEntry(form.mnuAnnulla, QStringLiteral("Annulla"), history ? history->nextUndo() : nullptr,
              allowed);
    showEntry(form.mnuRipeti, QStringLiteral("Ripeti"), history ? history->nextRedo() : nullptr,
              allowed);
}

void allowUndoActions(Form1& form, bool allowed) {
    if (UndoKeyRule* rule = ruleOf(form)) rule->allowed = allowed;
    const ChangeHistory* history = form.changeHistory.get();
    if (form.mnuAnnulla == nullptr) return;
    showEntry(form.mnuAnnulla, QStringLiteral("Annulla"), history ? history->nextUndo() : nullptr,
              allowed);
    showEntry(form.mnuRipeti, QStringLiteral("Ripeti"), history ? history->nextRedo() : nullptr,
              allowed);
}
