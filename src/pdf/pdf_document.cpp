#include "pdf/pdf_document.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>

#include "pdf/pdf_text.h"
#include "pdf/pdf_writer.h"

namespace clivara::pdf {

bool writePdfDocument(const std::filesystem::path& pdf, const char* title, double widthPt,
                      double heightPt, const std::function<bool(PdfWriter&, PdfText&)>& draw,
                      std::ostream& err) {
    std::filesystem::path folder = pdf.parent_path();
    std::string temporary = (folder.empty() ? std::filesystem::path(".") : folder) /
                            ("." + pdf.filename().string() + ".XXXXXX");
    const int descriptor = mkstemp(temporary.data());
    if (descriptor >= 0) {
        // As any file the user writes: mkstemp's are readable by the owner only.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(descriptor, 0666 & ~mask);
    }
    std::FILE* file = descriptor < 0 ? nullptr : fdopen(descriptor, "wb");
    if (file == nullptr) {
        const int error = errno;
        if (descriptor >= 0) {
            close(descriptor);
            std::remove(temporary.c_str());
        }
        err << "Impossibile scrivere " << pdf.string() << ": " << std::strerror(error) << "\n";
        return false;
    }
    bool drawn = false;
    try {
        PdfWriter writer(file, widthPt, heightPt);
        PdfText text(writer);
        drawn = draw(writer, text);
        drawn = writer.finish(text.fonts(), title) && drawn;
    } catch (...) {
        // Whatever stopped the drawing (no memory, an unreadable archive) leaves no half file
        // beside the target.
        std::fclose(file);
        std::remove(temporary.c_str());
        throw;
    }
    const bool closed = std::fclose(file) == 0;
    std::error_code renamed;
    if (drawn && closed) {
        std::filesystem::rename(temporary, pdf, renamed);
    }
    if (!drawn || !closed || renamed) {
        std::remove(temporary.c_str());
        err << "Impossibile scrivere " << pdf.string();
        if (renamed) {
            err << ": " << renamed.message();
        }
        err << ".\n";
        return false;
    }
    return true;
}

std::string todaysDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%d/%m/%Y", &local);
    return text;
}

}  // namespace clivara::pdf
