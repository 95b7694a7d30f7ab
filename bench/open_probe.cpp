// The same work as the python3-xlrd command the benchmarks compare against, as a whole
// process: open the archive and read the text of column A of "Clienti" down to its first gap.
// With a second path, the archive is saved there as well. Prints the rows read.

#include <cstdio>
#include <exception>
#include <filesystem>

#include "archive/workbook.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "uso: open_probe ARCHIVIO [COPIA]\n");
        return 2;
    }
    try {
        const clivara::archive::Workbook book = clivara::archive::Workbook::open(argv[1]);
        const clivara::archive::Sheet* clienti = book.sheet("Clienti");
        if (clienti == nullptr) return 1;
        const int last = clienti->endDown(2, 1);
        std::size_t characters = 0;
        for (int row = 2; row <= last; ++row) characters += clienti->text(row, 1).size();
        if (argc == 3) book.save(argv[2]);
        std::printf("%d righe, %zu caratteri\n", last - 1, characters);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
