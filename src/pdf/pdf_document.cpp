#include "pdf/pdf_document.h"

#include <cairo-pdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>

namespace clivara::pdf {

namespace {

cairo_status_t writeToFile(void* closure, const unsigned char* data, unsigned int length) {
    return std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length
               ? CAIRO_STATUS_SUCCESS
               : CAIRO_STATUS_WRITE_ERROR;
}

}  // namespace

bool writePdfDocument(const std::filesystem::path& pdf, const char* title, double widthPt,
                      double heightPt, const std::function<bool(cairo_t*)>& draw,
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
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(writeToFile, file, widthPt, heightPt);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Clivara 2008");
    cairo_t* cr = cairo_create(surface);
    bool drawn = draw(cr);
    drawn = drawn && cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    drawn = drawn && cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
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
