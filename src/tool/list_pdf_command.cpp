#include "tool/list_pdf_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>
#include <vector>

#include "tool/tool_commands.h"

namespace clivara::tool {

int runListPdfProgram(const std::vector<std::string>& args, std::ostream& err) {
    std::error_code unknown;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", unknown);
    const std::filesystem::path program =
        (unknown ? std::filesystem::path() : self.parent_path()) / "clivara-elenco";
    std::string name = "clivara-elenco";
    std::vector<std::string> copies = args;
    std::vector<char*> arguments{name.data()};
    for (std::string& argument : copies) {
        arguments.push_back(argument.data());
    }
    arguments.push_back(nullptr);
    std::cout.flush();
    ::execv(program.c_str(), arguments.data());
    const int error = errno;
    err << "Impossibile scrivere il PDF: il programma " << program.string();
    if (error == ENOENT) {
        err << " manca (va installato accanto a clivara-archivio).\n";
    } else if (error == EACCES) {
        err << " non si avvia (permesso negato).\n";
    } else {
        err << " non si avvia (" << std::strerror(error) << ").\n";
    }
    return kExitUnreadable;
}

}  // namespace clivara::tool
