#include "pdf/labels_document.h"

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "archive/book/archive_guard.h"
#include "archive/workbook.h"
#include "pdf/pdf_document.h"
#include "pdf/pdf_text.h"
#include "pdf/pdf_writer.h"
#include "register/address_labels.h"
#include "register/customer_selection.h"

namespace clivara::pdf {

namespace {

constexpr int kWritten = 0;
constexpr int kFailed = 2;

constexpr double kPaperWidth = points(210);
constexpr double kPaperHeight = points(297);

// The labels' lines measured and broken with the PDF's fonts, in points.
class PdfLabelTypesetter final : public customers::LabelTypesetter {
  public:
    explicit PdfLabelTypesetter(PdfText& text) : text_(text) {}

    double advance(const std::string& line, double size, bool bold) override {
        return text_.width(text_.font(size, bold), line);
    }
    double lineSpacing(double size, bool bold) override {
        return text_.lineSpacing(text_.font(size, bold));
    }
    std::vector<std::string> wrap(const std::string& line, double size, bool bold,
                                  double width) override {
        return text_.wrap(text_.font(size, bold), line, width);
    }

  private:
    PdfText& text_;
};

// Every label of the run on its sheet, each sheet a page.
void drawLabels(const customers::LabelRun& run, const std::vector<std::vector<std::string>>& labels,
                PdfWriter& writer, PdfText& text) {
    PdfLabelTypesetter typesetter(text);
    const customers::LabelFormat& format = run.format();
    const double width = points(format.width - 2 * customers::kLabelInsetX);
    const double height = points(format.height - 2 * customers::kLabelInsetY);
    std::vector<customers::LabelLine> drawn;
    std::size_t sheet = 0;
    for (std::size_t label = 0; label < labels.size(); ++label) {
        const customers::LabelPlace place = run.place(label);
        for (; sheet < place.sheet; ++sheet) {
            text.flush();
            writer.showPage();
        }
        const double used = customers::fitLabel(labels[label], width, height, typesetter, drawn);
        const double left = points(run.labelLeft(place) + customers::kLabelInsetX);
        double top = points(run.labelTop(place) + customers::kLabelInsetY) +
                     std::max(0.0, (height - used) / 2);
        for (const customers::LabelLine& line : drawn) {
            const PdfText::Font& font = text.font(line.size, line.bold);
            text.draw(font, left, top + text.ascent(font), line.text);
            top += text.lineSpacing(font);
        }
    }
    // The last sheet (or the only one, empty, for no labels).
    text.flush();
    writer.showPage();
}

}  // namespace

int writeLabelsPdf(const std::filesystem::path& archivePath, const std::filesystem::path& pdfPath,
                   std::string_view formatName, std::string_view query, std::ostream& err) {
    const customers::LabelFormat* format = formatName.empty()
                                               ? &customers::kLabelFormats.front()
                                               : customers::findLabelFormat(formatName);
    if (format == nullptr) {
        err << "Formato di etichette sconosciuto: " << formatName << " (formati:";
        for (const customers::LabelFormat& known : customers::kLabelFormats) {
            err << " " << known.name;
        }
        err << ").\n";
        return kFailed;
    }
    return archive::guardedRun(err, kFailed, [&] {
        const archive::Workbook book = archive::Workbook::open(archivePath);
        const archive::Sheet* clienti = book.sheet("Clienti");
        if (clienti == nullptr) {
            err << "L'archivio " << archivePath.filename().string()
                << " non ha il foglio \"Clienti\".\n";
            return kFailed;
        }
        const customers::CustomerSelection selection = customers::selectCustomers(*clienti, query);
        std::vector<std::vector<std::string>> labels;
        labels.reserve(selection.customers.size());
        for (const customers::CustomerRecord& customer : selection.customers) {
            labels.push_back(customers::postalLines(customer));
        }
        const customers::LabelRun run(*format, 1, 1, labels.size());
        const bool written = writePdfDocument(
            pdfPath, "Etichette", kPaperWidth, kPaperHeight,
            [&run, &labels](PdfWriter& writer, PdfText& text) {
                drawLabels(run, labels, writer, text);
                return true;
            },
            err);
        return written ? kWritten : kFailed;
    });
}

}  // namespace clivara::pdf
