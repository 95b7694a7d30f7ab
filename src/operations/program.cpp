#include "operations/program.h"

#include <QApplication>

int runClivara(QApplication& app) {
    return app.exec();
}
