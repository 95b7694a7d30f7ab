#include "window/message_boxes.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {

// A box without a title of its own carries the program's name.
QString boxTitle(const QString& title) {
    return title.isEmpty() ? QCoreApplication::applicationName() : title;
}

}  // namespace

bool ModalMessageBoxes::askYesNo(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, boxTitle(title), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void ModalMessageBoxes::inform(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, boxTitle(title), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
    box.exec();
}
