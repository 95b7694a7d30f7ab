// Times the program's life on the archive beside this probe, the way a person meets it: from
// the process start (the caller passes the time it started the process, in nanoseconds of the
// realtime clock) to the window with its list filled and the focus in "Ragione Sociale", then
// "Esci" to the program's end. Runs the real start-up (runClivara) with the offscreen
// platform; prints the two figures in milliseconds.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "operations/program.h"
#include "window/form1.h"

namespace {

double millisecondsSince(long long startNs) {
    const auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    return static_cast<double>(now - startNs) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "uso: startup_probe ISTANTE_DI_AVVIO_NS\n");
        return 2;
    }
    const long long startNs = std::atoll(argv[1]);
    QApplication app(argc, argv);
    double ready = -1;
    double esciStarted = 0;

    // Watches for the window to be ready, then chooses "Esci".
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* form = qobject_cast<Form1*>(widget);
            if (form != nullptr && form->isVisible() && form->Combo1->count() > 0 &&
                form->Text1->hasFocus()) {
                ready = millisecondsSince(startNs);
                watch.stop();
                esciStarted = millisecondsSince(startNs);
                form->MnEsci->trigger();
                return;
            }
        }
    });
    watch.start();
    const int code = runClivara(app);
    const double ended = millisecondsSince(startNs);
    if (ready < 0) {
        std::fprintf(stderr, "la finestra non è mai stata pronta (uscita %d)\n", code);
        return 1;
    }
    std::printf("pronto %.1f ms, Esci %.1f ms\n", ready, ended - esciStarted);
    return code;
}
