// The one question whose default answer is No: opening an archive that an office suite
// seems to hold.
#include <QCoreApplication>
#include <QMessageBox>

#include "window/message_boxes.h"

bool ModalMessageBoxes::askYesNoDefaultNo(QWidget* parent, const QString& title,
                                          const QString& text) {
    QMessageBox box(QMessageBox::NoIcon,
                    title.isEmpty() ? QCoreApplication::applicationName() : title, text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    fitTitle(box);
    return box.exec() == QMessageBox::Yes;
}
