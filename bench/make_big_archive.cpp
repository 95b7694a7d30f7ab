// Writes a generated customer archive: make_big_archive COUNT OUT
#include <cstdlib>
#include <iostream>

#include "big_archive.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "uso: make_big_archive NUMERO_CLIENTI FILE\n";
        return 2;
    }
    try {
        makeBigArchive(std::atoi(argv[1])).save(argv[2]);
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return 2;
    }
    return 0;
}
