#pragma once

#include <filesystem>

#include "archive/workbook.h"

// A customer archive of the given size with plausible, varied data in all thirteen columns,
// written the way the program writes it. The same count always gives the same file.
clivara::archive::Workbook makeBigArchive(int customers);

// The path of a cached archive of that size under the system's temporary folder, made on
// first use.
std::filesystem::path bigArchivePath(int customers);
