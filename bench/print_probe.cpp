// The printed customer list of an archive, step by step in one process: reading the
// archive, the layout (measuring and wrapping every text, page breaks) and painting the pages
// into a PDF. Prints "read_ms layout_ms paint_ms pages". Usage: print_probe ARCHIVE OUT.pdf
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QPdfWriter>
#include <cstdio>
#include <exception>

#include "archive/workbook.h"
#include "print/customer_list_painter.h"
#include "register/customer_list.h"
#include "register/customer_records.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "uso: print_probe ARCHIVIO OUT.pdf\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    try {
        QElapsedTimer timer;
        timer.start();
        const auto book = clivara::archive::Workbook::open(argv[1]);
        const clivara::customers::CustomerList list(
            clivara::customers::readCustomers(*book.sheet("Clienti")), "Archivio.xls",
            QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy")).toStdString());
        const qint64 readMs = timer.restart();

        QFile file(QString::fromLocal8Bit(argv[2]));
        if (!file.open(QIODevice::WriteOnly)) {
            return 2;
        }
        QPdfWriter writer(&file);
        clivara::print::useListPageLayout(writer);
        const auto layout = clivara::print::layOutCustomerList(list, writer);
        const qint64 layoutMs = timer.restart();
        if (clivara::print::paintCustomerList(*layout, writer) !=
            clivara::print::PaintResult::Done) {
            return 2;
        }
        const qint64 paintMs = timer.elapsed();
        std::printf("%lld %lld %lld %d\n", static_cast<long long>(readMs),
                    static_cast<long long>(layoutMs), static_cast<long long>(paintMs),
                    clivara::print::pageCount(*layout));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 2;
    }
    return 0;
}
