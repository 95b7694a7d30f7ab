#include "tool/tool_commands.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <map>
#include <ostream>
#include <string>
#include <system_error>
#include <vector>

#include "archive/archive_error.h"
#include "archive/book/new_archive.h"
#include "archive/workbook.h"
#include "tool/json_text.h"
#include "tool/sample_customers.h"
#include "tool/tax_code_report.h"
#include "tool/tool_guard.h"

namespace clivara::tool {

namespace {

using archive::ArchiveError;
using archive::CellKind;
using archive::Sheet;
using archive::Workbook;

constexpr int kCustomerColumns = 13;
constexpr int kFirstCustomerRow = 2;
// The program counts rows in 16-bit signed integers.
constexpr int kLastReachableRow = 32767;

std::string quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// "5", "5-7" or "5-7, 9": rows as ranges.
std::string rowRanges(const std::vector<int>& rows) {
    std::string out;
    for (std::size_t i = 0; i < rows.size();) {
        std::size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;
        if (!out.empty()) out += ", ";
        out += std::to_string(rows[i]);
        if (j > i) out += "-" + std::to_string(rows[j]);
        i = j + 1;
    }
    return out;
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

bool pathTaken(const std::filesystem::path& path) {
    std::error_code ignored;
    return std::filesystem::symlink_status(path, ignored).type() !=
           std::filesystem::file_type::not_found;
}

// The highest numeric customer ID and where it stands.
struct HighestId {
    double value = 0;
    int row = 0;  // 0: no numeric ID at all
    std::string text;
};

// The customer rows of "Clienti" and what is wrong with them.
struct CustomerSurvey {
    std::vector<int> customerRows;  // rows from 2 with column A filled
    int listedUntil = 1;            // the last row of the unbroken run from row 2
    std::vector<int> gapRows;       // column A empty between customers
    std::vector<int> namelessRows;  // column A empty, other columns of A-M filled
    std::map<std::string, std::vector<int>> rowsById;
    HighestId highestId;
};

CustomerSurvey surveyCustomers(const Sheet& clienti) {
    CustomerSurvey survey;
    const int lastRow = std::min(clienti.lastUsedRow(), Sheet::kLastRow);
    for (int row = kFirstCustomerRow; row <= lastRow; ++row) {
        if (clienti.isEmpty(row, 1)) {
            for (int column = 2; column <= kCustomerColumns; ++column) {
                if (!clienti.isEmpty(row, column)) {
                    survey.namelessRows.push_back(row);
                    break;
                }
            }
            continue;
        }
        survey.customerRows.push_back(row);
        if (row == survey.listedUntil + 1) survey.listedUntil = row;
        if (clienti.isEmpty(row, 2)) continue;
        survey.rowsById[clienti.text(row, 2)].push_back(row);
        HighestId& highest = survey.highestId;
        if (clienti.kind(row, 2) == CellKind::Number &&
            (highest.row == 0 || clienti.number(row, 2) > highest.value)) {
            highest = {clienti.number(row, 2), row, clienti.text(row, 2)};
        }
    }
    if (!survey.customerRows.empty()) {
        for (int row = kFirstCustomerRow; row < survey.customerRows.back(); ++row) {
            if (clienti.isEmpty(row, 1)) survey.gapRows.push_back(row);
        }
    }
    return survey;
}

// "alla riga 5" or "alle righe 5-7, 9".
std::string atRows(const std::vector<int>& rows) {
    return (rows.size() == 1 ? "alla riga " : "alle righe ") + rowRanges(rows);
}

HighestId reportCustomers(const Sheet& clienti, std::ostream& out,
                          std::vector<std::string>& problems) {
    const CustomerSurvey survey = surveyCustomers(clienti);
    const std::size_t count = survey.customerRows.size();
    out << "Clienti: " << count;
    if (count > 0) {
        out << " (righe " << survey.customerRows.front() << "-" << survey.customerRows.back()
            << ")";
    }
    out << "\n";
    if (!survey.gapRows.empty()) {
        const auto listed = static_cast<std::size_t>(survey.listedUntil - 1);
        problems.push_back("Colonna A vuota " + atRows(survey.gapRows) +
                           ": l'elenco del programma si ferma alla riga " +
                           std::to_string(survey.listedUntil) + " e non mostra " +
                           plural(count - listed, "cliente", "clienti") + " più sotto.");
    }
    if (!survey.namelessRows.empty()) {
        problems.push_back("Dati senza Ragione Sociale (colonna A vuota) " +
                           atRows(survey.namelessRows) + ".");
    }
    for (const auto& [id, rows] : survey.rowsById) {
        if (rows.size() > 1) {
            problems.push_back("L'ID " + id + " è usato da più clienti: righe " + rowRanges(rows) +
                               ".");
        }
    }
    if (count > 0 && survey.customerRows.back() > kLastReachableRow) {
        problems.push_back("Ci sono clienti oltre la riga " + std::to_string(kLastReachableRow) +
                           ", che il programma non può raggiungere.");
    }
    return survey.highestId;
}

void reportCounter(const Sheet& codici, const HighestId& highestId, std::ostream& out,
                   std::vector<std::string>& problems) {
    const std::string counter = codici.text(2, 1);
    out << "Contatore (\"" << codici.name()
        << "\" A2): " << (counter.empty() ? std::string("vuoto") : counter) << "\n";
    if (codici.kind(2, 1) != CellKind::Number) {
        problems.push_back(counter.empty() ? "Il contatore in \"Codici\" A2 è vuoto."
                                           : "Il contatore in \"Codici\" A2 non è un numero: " +
                                                 quoted(counter) + ".");
        return;
    }
    const double value = codici.number(2, 1);
    if (value != std::floor(value)) {
        problems.push_back("Il contatore in \"Codici\" A2 non è un numero intero: " + counter +
                           ".");
        return;
    }
    if (highestId.row != 0 && value < highestId.value) {
        problems.push_back("Il contatore in \"Codici\" A2 (" + counter +
                           ") è minore dell'ID più alto in \"Clienti\" (" + highestId.text +
                           ", riga " + std::to_string(highestId.row) +
                           "): il prossimo cliente riceverebbe un ID già usato.");
    }
}

}  // namespace

int checkArchive(const std::filesystem::path& file, std::ostream& out, std::ostream& err) {
    return guarded(err, [&] {
        const Workbook book = Workbook::open(file);
        std::vector<std::string> problems;
        out << "Archivio: " << file.string() << "\n";
        out << "Fogli:";
        for (std::size_t i = 0; i < book.sheetCount(); ++i) {
            out << (i == 0 ? " " : ", ") << quoted(book.sheetAt(i).name());
        }
        out << "\n";
        if (book.uses1904DateSystem()) out << "Sistema di date: 1904\n";

        HighestId highestId;
        if (const Sheet* clienti = book.sheet("Clienti")) {
            highestId = reportCustomers(*clienti, out, problems);
            reportTaxCodes(*clienti, problems);
        } else {
            problems.push_back("Manca il foglio \"Clienti\".");
        }
        if (const Sheet* codici = book.sheet("Codici")) {
            reportCounter(*codici, highestId, out, problems);
        } else {
            problems.push_back("Manca il foglio \"Codici\" con il contatore.");
        }

        if (problems.empty()) {
            out << "Nessun problema trovato.\n";
            return kExitSound;
        }
        out << "Problemi trovati:\n";
        for (const std::string& problem : problems) out << "- " << problem << "\n";
        return kExitProblems;
    });
}

int dumpArchive(const std::filesystem::path& file, std::ostream& out, std::ostream& err) {
    return guarded(err, [&] {
        const Workbook book = Workbook::open(file);
        std::string json = "{\"sheets\": [";
        for (std::size_t i = 0; i < book.sheetCount(); ++i) {
            if (i > 0) json += ", ";
            appendJsonString(json, book.sheetAt(i).name());
        }
        json += "], \"clienti\": [";
        if (const Sheet* clienti = book.sheet("Clienti")) {
            int last = std::min(clienti->lastUsedRow(), Sheet::kLastRow);
            auto rowEmpty = [&](int row) {
                for (int column = 1; column <= kCustomerColumns; ++column) {
                    if (!clienti->isEmpty(row, column)) return false;
                }
                return true;
            };
            while (last > 0 && rowEmpty(last)) --last;
            for (int row = 1; row <= last; ++row) {
                json += row == 1 ? "\n  [" : ",\n  [";
                for (int column = 1; column <= kCustomerColumns; ++column) {
                    if (column > 1) json += ", ";
                    appendJsonString(json, clienti->text(row, column));
                }
                json += "]";
            }
            if (last > 0) json += "\n";
        }
        json += "], \"counter\": ";
        const Sheet* codici = book.sheet("Codici");
        appendJsonString(json, codici != nullptr ? codici->text(2, 1) : std::string());
        json += "}\n";
        out << json;
        return kExitSound;
    });
}

int copyArchive(const std::filesystem::path& in, const std::filesystem::path& out,
                std::ostream& err) {
    return guarded(err, [&] {
        Workbook::open(in).save(out);
        return kExitSound;
    });
}

int writeNewArchive(const std::filesystem::path& file, bool withSampleCustomers,
                    std::ostream& err) {
    return guarded(err, [&] {
        if (pathTaken(file)) {
            err << "Il file " << quoted(file.string())
                << " esiste già e non viene sovrascritto: scegliere un altro nome.\n";
            return kExitUnreadable;
        }
        Workbook book = archive::emptyArchive();
        if (withSampleCustomers) addSampleCustomers(book);
        book.save(file);
        return kExitSound;
    });
}

}  // namespace clivara::tool
