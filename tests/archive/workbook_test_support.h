#pragma once

// Helpers shared by the workbook tests: fixtures, temporary files and python3-xlrd's reading
// of written files.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "archive/workbook.h"

namespace workbook_test {

inline std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(CLIVARA_FIXTURES) / name;
}

inline std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// A folder of its own under the system's temporary folder, removed at the end.
class TempDir {
  public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "workbook-test-XXXXXX").string();
        path_ = mkdtemp(pattern.data());
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

// Every non-empty cell's text per file and sheet, as python3-xlrd reads it; a sheet with no
// cells is present with no entries.
using CellTexts = std::map<std::pair<int, int>, std::string>;
using XlrdReading = std::map<std::string, std::map<std::string, CellTexts>>;

inline std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size()) {
            const char next = text[++i];
            out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Runs the xlrd script over the files; false (with the reason in error) when xlrd refuses one.
inline bool readWithXlrd(const std::vector<std::filesystem::path>& files, XlrdReading& result,
                         std::string& error) {
    std::string command =
        std::string(CLIVARA_PYTHON3) + " " + CLIVARA_TESTS_DIR + "/archive/workbook_xlrd_cells.py";
    for (const auto& file : files) command += " '" + file.string() + "'";
    command += " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        error = "cannot run python3";
        return false;
    }
    std::string output;
    char buffer[65536];
    std::size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
    const int status = pclose(pipe);
    if (status != 0) {
        error = output;
        return false;
    }
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        const std::string line = output.substr(start, end - start);
        start = end + 1;
        std::vector<std::string> fields;
        std::size_t from = 0;
        for (int i = 0; i < 4; ++i) {
            const std::size_t tab = line.find('\t', from);
            if (tab == std::string::npos) break;
            fields.push_back(line.substr(from, tab - from));
            from = tab + 1;
        }
        if (fields.size() != 4) {
            error = "unexpected line: " + line;
            return false;
        }
        fields.push_back(line.substr(from));
        auto& sheet = result[fields[0]][unescape(fields[1])];
        const int row = std::stoi(fields[2]), column = std::stoi(fields[3]);
        if (row > 0) sheet[{row, column}] = unescape(fields[4]);
    }
    return true;
}

// Every non-empty cell of a sheet, read through the workbook layer.
inline CellTexts cellTexts(const clivara::archive::Sheet& sheet) {
    CellTexts cells;
    for (int row = 1; row <= sheet.lastUsedRow(); ++row) {
        for (int column = 1; column <= clivara::archive::Sheet::kLastColumn; ++column) {
            if (!sheet.isEmpty(row, column)) cells[{row, column}] = sheet.text(row, column);
        }
    }
    return cells;
}

}  // namespace workbook_test
