#include "tool/search_command.h"

#include <ostream>
#include <string_view>

#include "archive/workbook.h"
#include "register/customer_search.h"
#include "tool/tool_guard.h"

namespace clivara::tool {

namespace {

// One match is one line: a tab or a line break inside a text is printed as a space.
void printOneLine(std::ostream& out, std::string_view text) {
    for (const char c : text) {
        out << (c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
    }
}

}  // namespace

int searchArchive(const std::filesystem::path& file, const std::vector<std::string>& words,
                  std::ostream& out, std::ostream& err) {
    return guarded(err, [&] {
        const archive::Workbook book = archive::Workbook::open(file);
        const archive::Sheet* clienti = book.sheet("Clienti");
        if (clienti == nullptr) {
            err << "Manca il foglio \"Clienti\".\n";
            return kExitUnreadable;
        }
        std::string query;
        for (const std::string& word : words) {
            if (!query.empty()) query += ' ';
            query += word;
        }
        using Shown = customers::CustomerSearchIndex::Shown;
        const customers::CustomerSearchIndex index(*clienti);
        const std::vector<std::size_t> found = index.find(query);
        for (const std::size_t i : found) {
            out << index.row(i) << '\t';
            printOneLine(out, index.shown(i, Shown::Id));
            out << '\t';
            printOneLine(out, index.shown(i, Shown::Name));
            out << '\n';
        }
        return found.empty() ? kExitProblems : kExitSound;
    });
}

}  // namespace clivara::tool
