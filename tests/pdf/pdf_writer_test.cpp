// The PDF writer's file as a reader finds its way through it: every object where the cross
// reference table says, every stream as long as its dictionary says, the table where
// startxref says (poppler would quietly rebuild a wrong table, so its read-back tests cannot
// tell); a file that cannot be written is a failure; a drawing that stops leaves no file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <string>

#include "pdf/pdf_document.h"
#include "pdf/pdf_text.h"
#include "pdf/pdf_writer.h"

namespace {

using clivara::pdf::PdfText;
using clivara::pdf::PdfWriter;

// Two pages of text of every kind, one of them with lines, written to a temporary file.
std::string writtenPdf() {
    std::FILE* file = std::tmpfile();
    {
        PdfWriter writer(file, 595, 842);
        PdfText text(writer);
        const PdfText::Font& body = text.font(8, false);
        text.draw(text.font(14, true), 20, 30, "Elenco (Clienti) \\ y*'");
        text.draw(body, 20, 50, "Cafe\u0301 東京 مرحبا \U0001F600");
        text.flush();
        writer.line(20, 60, 300, 60, 0.5, 0.6);
        writer.showPage();
        text.draw(body, 20, 30, "Pagina 2 di 2");
        text.flush();
        writer.showPage();
        EXPECT_TRUE(writer.finish(text.fonts(), "Prova (1)"));
    }
    std::rewind(file);
    std::string pdf;
    char buffer[4096];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        pdf.append(buffer, read);
    }
    std::fclose(file);
    return pdf;
}

TEST(PdfWriterTest, TheCrossReferenceTableAndTheStreamLengthsHold) {
    const std::string pdf = writtenPdf();
    ASSERT_EQ(pdf.substr(0, 8), "%PDF-1.6");
    const std::size_t startxref = pdf.rfind("startxref\n");
    ASSERT_NE(startxref, std::string::npos);
    const std::size_t table = std::stoul(pdf.substr(startxref + 10));
    ASSERT_EQ(pdf.compare(table, 7, "xref\n0 "), 0);
    const std::size_t count = std::stoul(pdf.substr(table + 7));
    ASSERT_GT(count, 10U);  // catalog, pages, resources, info, 2 pages, fonts
    std::size_t entry = pdf.find('\n', table + 7) + 1;
    EXPECT_EQ(pdf.substr(entry, 20), "0000000000 65535 f \n");
    for (std::size_t number = 1; number < count; ++number) {
        const std::string line = pdf.substr(entry + 20 * number, 20);
        ASSERT_EQ(line.size(), 20U);
        ASSERT_EQ(line.substr(10), " 00000 n \n") << number;
        const std::size_t offset = std::stoul(line.substr(0, 10));
        const std::string head = std::to_string(number) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(offset, head.size(), head), 0) << number;
    }
    int streams = 0;
    for (std::size_t at = pdf.find(">>\nstream\n"); at != std::string::npos;
         at = pdf.find(">>\nstream\n", at + 1)) {
        const std::size_t length = pdf.rfind("/Length ", at);
        ASSERT_NE(length, std::string::npos);
        const std::size_t data = at + 10;
        const std::size_t size = std::stoul(pdf.substr(length + 8));
        EXPECT_EQ(pdf.compare(data + size, 11, "\nendstream\n"), 0) << "stream at " << data;
        ++streams;
    }
    EXPECT_GE(streams, 2 + 2 * 3);  // two pages' contents; each font's file and ToUnicode map
    EXPECT_NE(pdf.find("/Count 2 "), std::string::npos);
    EXPECT_NE(pdf.find("/Title (Prova \\(1\\))"), std::string::npos);
}

TEST(PdfWriterTest, AFileThatCannotBeWrittenIsAFailure) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) {
        GTEST_SKIP() << "no /dev/full";
    }
    std::setvbuf(full, nullptr, _IONBF, 0);
    bool finished = true;
    {
        PdfWriter writer(full, 595, 842);
        PdfText text(writer);
        text.draw(text.font(8, false), 20, 30, "Cliente");
        text.flush();
        writer.showPage();
        finished = writer.finish(text.fonts(), "Prova");
    }
    std::fclose(full);
    EXPECT_FALSE(finished);
}

TEST(PdfWriterTest, ADrawingThatThrowsLeavesNoFileBesideTheTarget) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("pdf_writer_test_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ostringstream err;
    EXPECT_THROW(
        clivara::pdf::writePdfDocument(
            folder / "Elenco.pdf", "Prova", 595, 842,
            [](PdfWriter&, PdfText&) -> bool { throw std::runtime_error("interrotto"); }, err),
        std::runtime_error);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder);
}

}  // namespace
