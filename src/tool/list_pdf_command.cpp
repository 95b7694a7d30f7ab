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

int runListPdfProgram(const std::string& archive, const std::string& pdf, std::ostream& err) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path program =
        (error ? std::filesystem::path() : self.parent_path()) / "clivara-elenco";
    std::string name = "clivara-elenco";
    std::string archiveArgument = archive;
    std::string pdfArgument = pdf;
    std::vector<char*> arguments{name.data(), archiveArgument.data(), pdfArgument.data(), nullptr};
    std::cout.flush();
    ::execv(program.c_str(), arguments.data());
    err << "Impossibile scrivere l'elenco: il programma " << program.string() << " non si avvia ("
        << std::strerror(errno) << ").\n";
    return kExitUnreadable;
}

}  // namespace clivara::tool
