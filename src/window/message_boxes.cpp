#include "window/message_boxes.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpacerItem>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

namespace {

// The title bar's icon, its three buttons and the margins around the title, in pixels.
constexpr int kTitleBarRoom = 160;

// A box without a title of its own carries the program's name.
QString boxTitle(const QString& title) {
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

}  // namespace

int titleBarWidth(const QString& title, const QFont& font) {
    QFont bold = font;
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(title) + kTitleBarRoom;
}

void fitTitle(QMessageBox& box) {
    // The box sizes itself to its layout when shown; a spacer as wide as the title needs
    // across the whole layout keeps it from being narrower.
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) return;
    grid->addItem(new QSpacerItem(titleBarWidth(box.windowTitle(), box.font()), 0,
                                  QSizePolicy::Minimum, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

bool ModalMessageBoxes::askYesNo(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, boxTitle(title), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    fitTitle(box);
    return box.exec() == QMessageBox::Yes;
}

void ModalMessageBoxes::inform(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, boxTitle(title), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    fitTitle(box);
    box.exec();
}

int ModalMessageBoxes::choose(QWidget* parent, const QString& title, const QString& text,
                              const QStringList& buttons, int defaultButton, int escapeButton) {
    QMessageBox box(QMessageBox::NoIcon, boxTitle(title), text, QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    std::vector<QPushButton*> pushed;
    for (const QString& caption : buttons) {
        // Every button accepts: which one was pressed is asked of the box afterwards.
        pushed.push_back(box.addButton(caption, QMessageBox::AcceptRole));
    }
    if (defaultButton >= 0 && defaultButton < static_cast<int>(pushed.size())) {
        box.setDefaultButton(pushed[static_cast<std::size_t>(defaultButton)]);
    }
    if (escapeButton >= 0 && escapeButton < static_cast<int>(pushed.size())) {
        box.setEscapeButton(pushed[static_cast<std::size_t>(escapeButton)]);
    }
    fitTitle(box);
    box.exec();
    for (std::size_t i = 0; i < pushed.size(); ++i) {
        if (box.clickedButton() == pushed[i]) {
            return static_cast<int>(i);
        }
    }
    return escapeButton;
}

void ModalMessageBoxes::showBusy(QWidget* parent, const QString& title, const QString& text) {
    hideBusy();
    auto* box = new QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    box->setObjectName(QStringLiteral("busyBox"));
    box->setWindowTitle(boxTitle(title));
    box->setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(box);
    auto* label = new QLabel(text, box);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    layout->setContentsMargins(24, 18, 24, 18);
    box->setMinimumWidth(titleBarWidth(box->windowTitle(), box->font()));
    // Placed as a message box is, over the middle of its window (or of the screen): a plain
    // widget is left where the window manager puts it, and without one at the top left.
    box->adjustSize();
    QRect area;
    if (const QWidget* over = parent != nullptr ? parent->window() : nullptr;
        over != nullptr && over->isVisible()) {
        area = over->frameGeometry();
    } else if (const QScreen* screen = box->screen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) box->move(area.center() - box->rect().center());
    box->show();
    busy_ = box;
    // Shown now, before the wait that follows begins.
    QCoreApplication::processEvents();
}

void ModalMessageBoxes::hideBusy() {
    delete busy_.data();
}

ModalMessageBoxes::~ModalMessageBoxes() {
    hideBusy();
}
