#pragma once

#include <cstddef>
#include <string>

namespace clivara::archive::messages {

// The Italian texts the workbook layer shows, each naming the file. fileName is the name
// as the user knows it (for instance "Archivio.xls").
std::string notExcel(const std::string& fileName, bool looksLikeZip);
std::string oldFormat(const std::string& fileName);
// The same for the oldest formats, which carry no compound file; excelVersion names the
// version as the user knows it ("Excel 2.x", "Excel 3.0", "Excel 4.0").
std::string oldestFormat(const std::string& fileName, const std::string& excelVersion);
std::string encrypted(const std::string& fileName);
std::string damaged(const std::string& fileName);
std::string textTooLong(std::size_t length);
std::string notWritten(const std::string& fileName);

}  // namespace clivara::archive::messages
