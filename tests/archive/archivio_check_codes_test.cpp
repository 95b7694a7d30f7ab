// What `clivara-archivio check` reports about the codici fiscali and partite IVA: each code
// that fails its check and each customer sharing a code, one line per customer, exit code 1.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/book/new_archive.h"
#include "archive/workbook.h"

namespace {

namespace fs = std::filesystem;

struct ToolRun {
    int status = -1;
    std::string out;
};

ToolRun check(const fs::path& archive) {
    const std::string command =
        std::string("'") + CLIVARA_TOOL + "' check '" + archive.string() + "' 2>&1";
    ToolRun result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, count);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// An archive whose "Clienti" rows from row 2 hold name, ID, codice fiscale, partita IVA.
fs::path writeArchive(const std::string& name, const std::vector<std::vector<std::string>>& rows) {
    clivara::archive::Workbook book = clivara::archive::emptyArchive();
    clivara::archive::Sheet& clienti = *book.sheet("Clienti");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 2;
        clienti.setText(row, 1, rows[i][0]);
        clienti.setText(row, 2, rows[i][1]);
        clienti.setText(row, 10, rows[i][2]);
        clienti.setText(row, 11, rows[i][3]);
    }
    book.sheet("Codici")->setText(2, 1, std::to_string(rows.size() + 10));
    const fs::path path = fs::temp_directory_path() /
                          ("archivio_check_codes." + std::to_string(::getpid()) + "." + name);
    fs::remove(path);
    book.save(path);
    return path;
}

// The lines after "Problemi trovati:".
std::vector<std::string> findings(const std::string& out) {
    std::vector<std::string> lines;
    const std::string heading = "Problemi trovati:\n";
    std::size_t at = out.find(heading);
    if (at == std::string::npos) return lines;
    at += heading.size();
    while (at < out.size()) {
        const std::size_t end = out.find('\n', at);
        lines.push_back(out.substr(at, end - at));
        at = end == std::string::npos ? out.size() : end + 1;
    }
    return lines;
}

TEST(CheckCodes, ValidUnsharedAndForeignCodesAreNoProblem) {
    const fs::path path = writeArchive(
        "sound", {{"Rossi Mario", "1", "RSSMRA85T10A562S", ""},
                  {"Farmacia San Marco", "2", "03344556679", "IT03344556679"},  // a firm's own
                  {"Müller GmbH", "3", "", "DE123456789"},
                  {"Omocodia", "4", "RSSMRA85T10A56NH", ""},
                  {"Senza codici", "5", "", ""}});
    const ToolRun result = check(path);
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(result.out.find("Nessun problema trovato.\n"), std::string::npos) << result.out;
    fs::remove(path);
}

TEST(CheckCodes, NamesEachFailingAndSharedCodeByCustomer) {
    const fs::path path =
        writeArchive("problems", {{"Rossi Mario", "12", "RSSMRA85T10A562T", ""},
                                  {"Farmacia San Marco", "5", "", "03344556679"},
                                  {"Bianchi Luca", "7", "rssmra85t10a562s", "0123456789"},
                                  {"Farmacia S. Marco", "", "", "IT 03344556679"},
                                  {"Rossi Mario bis", "9", "RSSMRA85T10A562S", ""},
                                  {"", "20", "RSSMRA85T10A562S", "03344556679"}});
    const ToolRun result = check(path);
    EXPECT_EQ(result.status, 1) << result.out;
    const std::vector<std::string> expected = {
        "- ID 12 (riga 2, «Rossi Mario»): Codice Fiscale «RSSMRA85T10A562T» non valido: "
        "Carattere di controllo errato: atteso S.",
        "- ID 7 (riga 4, «Bianchi Luca»): Partita IVA «0123456789» non valida: La partita IVA "
        "deve avere 11 cifre: ne ha 10.",
        "- senza ID (riga 5, «Farmacia S. Marco»): Partita IVA «IT 03344556679» non valida: La "
        "partita IVA contiene spazi.",
        "- ID 7 (riga 4, «Bianchi Luca»): Codice Fiscale «rssmra85t10a562s» uguale a quello di "
        "ID 9 (riga 6, «Rossi Mario bis»).",
        "- ID 9 (riga 6, «Rossi Mario bis»): Codice Fiscale «RSSMRA85T10A562S» uguale a quello "
        "di ID 7 (riga 4, «Bianchi Luca»).",
        "- ID 5 (riga 3, «Farmacia San Marco»): Partita IVA «03344556679» uguale a quella di "
        "senza ID (riga 5, «Farmacia S. Marco»).",
        "- senza ID (riga 5, «Farmacia S. Marco»): Partita IVA «IT 03344556679» uguale a quella "
        "di ID 5 (riga 3, «Farmacia San Marco»)."};
    // Only the lines about codes; the row without a name (row 7) is never named by them.
    std::vector<std::string> lines = findings(result.out);
    std::erase_if(lines, [](const std::string& line) {
        return line.find("Codice Fiscale") == std::string::npos &&
               line.find("Partita IVA") == std::string::npos;
    });
    EXPECT_EQ(lines, expected);
    fs::remove(path);
}

}  // namespace
