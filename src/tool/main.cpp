// clivara-archivio: the support tool for whoever looks after an office's Archivio.xls.
// The customer program itself has no command line; this tool checks, dumps, copies and
// creates archives with the same workbook layer.

#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "register/address_labels.h"
#include "tool/export_command.h"
#include "tool/list_pdf_command.h"
#include "tool/search_command.h"
#include "tool/tool_commands.h"
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

constexpr std::string_view kUsage =
    "Uso:\n"
    "  clivara-archivio check FILE     controlla l'archivio e riassume ciò che contiene\n"
    "                                  (anche codici fiscali e partite IVA errati o condivisi)\n"
    "  clivara-archivio dump FILE      stampa fogli, righe di \"Clienti\" e contatore in JSON\n"
    "                                  (senza \"Clienti\" le righe sono [], senza \"Codici\" il\n"
    "                                  contatore è \"\")\n"
    "  clivara-archivio copy IN OUT    apre IN e lo salva in OUT\n"
    "  clivara-archivio new OUT        crea un archivio vuoto (non sovrascrive mai)\n"
    "  clivara-archivio sample OUT     crea un archivio con alcuni clienti di prova\n"
    "  clivara-archivio elenco FILE OUT.pdf [TESTO...]\n"
    "                                  scrive in PDF l'elenco clienti da stampare (con TESTO\n"
    "                                  solo i clienti che la ricerca trova)\n"
    "  clivara-archivio etichette FILE OUT.pdf [--formato NOME] [TESTO...]\n"
    "                                  scrive in PDF le etichette degli indirizzi su fogli A4\n"
    "                                  (formati: @)\n"
    "  clivara-archivio cerca FILE TESTO...\n"
    "                                  stampa riga, ID e Ragione Sociale dei clienti che\n"
    "                                  contengono tutte le parole (uscita 1: nessuno)\n"
    "  clivara-archivio esporta FILE OUT.csv|OUT.vcf [TESTO...]\n"
    "                                  esporta i clienti (quelli che contengono tutte le\n"
    "                                  parole, se date) in CSV o vCard (uscita 1: nessuno)\n"
    "Uscita: 0 archivio in ordine, 1 archivio aperto ma con problemi, 2 archivio illeggibile "
    "o comando non riuscito.\n";

// An archive's file, its workbook stream and the cell table are buffers of megabytes, made and
// released one after the other. By default the C library maps each one afresh and gives it
// back on release, so every one is faulted in and zeroed page by page again; a short-lived
// command is quicker keeping such memory in its heap for the next buffer to reuse.
void keepLargeBuffersInTheHeap() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);  // the largest the C library takes
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
#endif
}

}  // namespace

// The usage with the label formats the program knows, the first being the default.
std::string usage() {
    std::string formats;
    for (const clivara::customers::LabelFormat& format : clivara::customers::kLabelFormats) {
        formats += (formats.empty() ? "" : ", ") + std::string(format.name);
    }
    std::string text(kUsage);
    text.replace(text.find('@'), 1, formats);
    return text;
}

int main(int argc, char** argv) {
    using namespace clivara::tool;
    keepLargeBuffersInTheHeap();
    const std::vector<std::string> args(argv + 1, argv + argc);
    const std::string command = args.empty() ? std::string() : args[0];
    if (args.size() == 2 && command == "check") return checkArchive(args[1], std::cout, std::cerr);
    if (args.size() == 2 && command == "dump") return dumpArchive(args[1], std::cout, std::cerr);
    if (args.size() == 3 && command == "copy") return copyArchive(args[1], args[2], std::cerr);
    if (args.size() == 2 && command == "new") return writeNewArchive(args[1], false, std::cerr);
    if (args.size() == 2 && command == "sample") return writeNewArchive(args[1], true, std::cerr);
    if (args.size() >= 3 && (command == "elenco" || command == "etichette"))
        return runListPdfProgram(args, std::cerr);
    if (args.size() >= 3 && command == "cerca") {
        return searchArchive(args[1], {args.begin() + 2, args.end()}, std::cout, std::cerr);
    }
    if (args.size() >= 3 && command == "esporta") {
        return exportArchive(args[1], args[2], {args.begin() + 3, args.end()}, std::cout,
                             std::cerr);
    }
    if (args.size() == 1 && (command == "--help" || command == "-h" || command == "help")) {
        std::cout << usage();
        return kExitSound;
    }
    std::cerr << usage();
    return kExitUnreadable;
}
