// clivara-elenco elenco FILE OUT.pdf [TESTO...] and clivara-elenco etichette FILE OUT.pdf
// [--formato NOME] [TESTO...]: write the printed customer list, or address labels, of an
// archive as a PDF file, written by the PDF writer of src/pdf/. `clivara-archivio elenco` and
// `etichette` run it with their own arguments, so that the tool's other commands start without
// loading the fonts and the PDF libraries.

#include <iostream>
#include <string>
#include <vector>

#include "pdf/labels_document.h"
#include "pdf/list_document.h"
#include "tool/tool_commands.h"

namespace {

// The words of a search, joined by spaces.
std::string joined(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& word : words) {
        out += (out.empty() ? "" : " ") + word;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 3 && args[0] == "elenco") {
        return clivara::pdf::writeCustomerListPdf(
            args[1], args[2], joined({args.begin() + 3, args.end()}), std::cerr);
    }
    if (args.size() >= 3 && args[0] == "etichette") {
        std::vector<std::string> words(args.begin() + 3, args.end());
        std::string format;
        if (!words.empty() && words[0] == "--formato") {
            if (words.size() < 2) {
                std::cerr << "--formato vuole il nome di un formato di etichette.\n";
                return clivara::tool::kExitUnreadable;
            }
            format = words[1];
            words.erase(words.begin(), words.begin() + 2);
        }
        return clivara::pdf::writeLabelsPdf(args[1], args[2], format, joined(words), std::cerr);
    }
    std::cerr << "Uso: clivara-elenco elenco FILE OUT.pdf [TESTO...]\n"
                 "     clivara-elenco etichette FILE OUT.pdf [--formato NOME] [TESTO...]\n";
    return clivara::tool::kExitUnreadable;
}
