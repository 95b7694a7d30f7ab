#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "operations/program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // The name is also the title of a message box that has none of its own.
    QApplication::setApplicationName(QStringLiteral("Clivara 2008"));

    // Qt's own Italian texts, so that the standard buttons read "Sì" and "No".
    QTranslator qtTranslations;
    if (qtTranslations.load(QStringLiteral("qtbase_it"),
                            QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QApplication::installTranslator(&qtTranslations);
    }

    // Start-up (the archive beside the program, its locks, the window) and the event loop.
    return runClivara(app);
}
