#include "tool/export_command.h"

#include <optional>
#include <ostream>

#include "archive/workbook.h"
#include "register/customer_export.h"
#include "register/customer_search.h"
#include "register/customer_table_order.h"
#include "tool/tool_guard.h"

namespace clivara::tool {

int exportArchive(const std::filesystem::path& file, const std::filesystem::path& target,
                  const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    const std::optional<customers::ExportFormat> format = customers::exportFormatOf(target);
    if (!format) {
        err << "Il file di uscita deve finire in .csv (CSV) o in .vcf (vCard): " << target.string()
            << "\n";
        return kExitUnreadable;
    }
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
        std::vector<int> rows;
        if (words.empty()) {
            rows = customers::customerRows(*clienti);
        } else {
            const customers::CustomerSearchIndex index(*clienti);
            for (const std::size_t i : index.find(query)) rows.push_back(index.row(i));
        }
        if (rows.empty()) {
            err << "Nessun cliente da esportare: il file " << target.string()
                << " non è stato scritto.\n";
            return kExitProblems;
        }
        customers::exportCustomers(*clienti, rows, *format, target, file);
        out << (rows.size() == 1 ? "1 cliente esportato in "
                                 : std::to_string(rows.size()) + " clienti esportati in ")
            << target.string() << "\n";
        return kExitSound;
    });
}

}  // namespace clivara::tool
