// clivara-elenco FILE OUT.pdf: writes the printed customer list of an archive as a PDF file.
// It is the part of the support tool that needs Qt; `clivara-archivio elenco` runs it, so that
// the tool's other commands start without loading Qt at all.

#include <iostream>
#include <string>

#include "print/customer_list_pdf.h"
#include "tool/tool_commands.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "Uso: clivara-elenco FILE OUT.pdf\n";
        return clivara::tool::kExitUnreadable;
    }
    return clivara::print::writeCustomerListPdf(argv[1], argv[2], std::cerr);
}
