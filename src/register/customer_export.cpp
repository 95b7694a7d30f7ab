#include "register/customer_export.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <system_error>

#include "archive/archive_error.h"
#include "archive/container/atomic_file.h"
#include "register/customer_csv.h"
#include "register/customer_vcard.h"

namespace clivara::customers {

std::optional<ExportFormat> exportFormatOf(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".csv") return ExportFormat::Csv;
    if (extension == ".vcf" || extension == ".vcard") return ExportFormat::Vcard;
    return std::nullopt;
}

void exportCustomers(const archive::Sheet& clienti, std::span<const int> rows, ExportFormat format,
                     const std::filesystem::path& out, const std::filesystem::path& archive) {
    std::error_code error;
    if (std::filesystem::equivalent(out, archive, error) && !error) {
        throw archive::ArchiveError(
            archive::ArchiveProblem::WriteFailed,
            "Il file scelto per l'esportazione è l'archivio stesso: nessun file scritto.");
    }
    const std::string text = format == ExportFormat::Csv ? customersAsCsv(clienti, rows)
                                                         : customersAsVcards(clienti, rows);
    archive::replaceFileAtomically(
        out, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace clivara::customers
