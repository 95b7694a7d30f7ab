#include "window/combo_type_ahead.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEvent>
#include <QKeyEvent>

namespace {

class EqualEntryTypeAhead : public QObject {
  public:
    explicit EqualEntryTypeAhead(QAbstractItemView* view) : QObject(view), view_(view) {}

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != view_ || event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const QString text = key->text();
        if (text.isEmpty() || !text.front().isPrint() ||
            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
            return false;
        }
        // The list's own search runs as it would, and keeps the typed text as it does: the
        // characters of one burst of typing, within the keyboard input interval.
        if (!typing_.isValid() || typing_.elapsed() > QApplication::keyboardInputInterval()) {
            typed_ = text;
        } else {
            typed_ += text;
        }
        typing_.start();
        view_->keyboardSearch(text);
        takeEqualEntry();
        return true;
    }

  private:
    void takeEqualEntry() {
        QAbstractItemModel* model = view_->model();
        if (model == nullptr || model->rowCount() == 0) return;
        const QModelIndex current = view_->currentIndex();
        const QString shown = current.isValid() ? current.data().toString() : QString();
        const QModelIndex start = current.isValid() ? current : model->index(0, 0);
        for (const Qt::CaseSensitivity letterCase : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            if (current.isValid() && shown.compare(typed_, letterCase) == 0) return;
            const Qt::MatchFlags exactly = letterCase == Qt::CaseSensitive
                                               ? Qt::MatchExactly | Qt::MatchCaseSensitive
                                               : Qt::MatchFlags(Qt::MatchFixedString);
            const QModelIndexList equal =
                model->match(start, Qt::DisplayRole, typed_, 1, exactly | Qt::MatchWrap);
            if (!equal.isEmpty()) {
                view_->setCurrentIndex(equal.front());
                return;
            }
        }
    }

    QAbstractItemView* view_;
    QString typed_;
    QElapsedTimer typing_;
};

}  // namespace

void chooseEqualEntryOnTyping(QComboBox* combo) {
    QAbstractItemView* view = combo->view();
    view->installEventFilter(new EqualEntryTypeAhead(view));
}
