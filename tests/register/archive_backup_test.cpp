// The backups of the archive kept before each save: what they hold, their names, which of
// them are kept over weeks of saves, and a folder that cannot be made.
#include "register/archive_backup.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "archive/archive_error.h"

namespace {

using clivara::customers::backUpArchive;
using clivara::customers::backupFolder;
using Clock = std::chrono::system_clock;

Clock::time_point localTime(int year, int month, int day, int hour) {
    std::tm when{};
    when.tm_year = year - 1900;
    when.tm_mon = month - 1;
    when.tm_mday = day;
    when.tm_hour = hour;
    when.tm_isdst = -1;
    return Clock::from_time_t(std::mktime(&when));
}

std::string contentOf(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

class ArchiveBackupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("clivara-backup-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
        archive = folder / "Archivio.xls";
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    void writeArchive(const std::string& text) { std::ofstream(archive, std::ios::binary) << text; }

    std::set<std::string> backupNames() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(backupFolder(archive))) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    std::filesystem::path folder;
    std::filesystem::path archive;
};

TEST_F(ArchiveBackupTest, KeepsTheFileAsItWasUnderADatedNameBesideTheArchive) {
    EXPECT_TRUE(backUpArchive(archive, Clock::now()).empty());  // no archive yet: nothing to keep

    writeArchive("prima");
    const Clock::time_point when = localTime(2026, 3, 2, 9) + std::chrono::seconds(5);
    const std::filesystem::path first = backUpArchive(archive, when);
    EXPECT_EQ(first, folder / "Backup" / "Archivio-2026-03-02-090005.xls");
    // The save puts a new file in the archive's place; the backup keeps the old bytes.
    std::filesystem::remove(archive);
    writeArchive("dopo");
    EXPECT_EQ(contentOf(first), "prima");

    // Two saves in the same second do not overwrite each other.
    const std::filesystem::path second = backUpArchive(archive, when);
    EXPECT_EQ(second.filename(), "Archivio-2026-03-02-090005-2.xls");
    EXPECT_EQ(contentOf(second), "dopo");
    EXPECT_EQ(contentOf(first), "prima");
}

TEST_F(ArchiveBackupTest, KeepsTheTenNewestAndTheLastOfEachDayForThirtyDays) {
    writeArchive("archivio");
    // Forty days of work, two saves a day.
    const Clock::time_point start = localTime(2026, 1, 1, 0);
    Clock::time_point last;
    for (int day = 0; day < 40; ++day) {
        for (const int hour : {9, 17}) {
            last = start + std::chrono::hours(24 * day + hour);
            backUpArchive(archive, last);
        }
    }
    const std::set<std::string> kept = backupNames();
    std::set<std::string> expected;
    auto name = [](int day, int hour) {
        char text[64];
        std::snprintf(text, sizeof text, "Archivio-2026-%02d-%02d-%02d0000.xls", day < 31 ? 1 : 2,
                      day < 31 ? day + 1 : day - 30, hour);
        return std::string(text);
    };
    for (int day = 35; day < 40; ++day) {  // the ten newest
        expected.insert(name(day, 9));
        expected.insert(name(day, 17));
    }
    for (int day = 9; day < 35; ++day) expected.insert(name(day, 17));  // one a day, 30 days
    EXPECT_EQ(kept, expected);

    // Files that are not this archive's backups are never touched.
    std::ofstream(backupFolder(archive) / "nota.txt") << "da tenere";
    std::ofstream(backupFolder(archive) / "Altro-2025-01-01-000000.xls") << "altro";
    backUpArchive(archive, last + std::chrono::hours(1));
    EXPECT_TRUE(std::filesystem::exists(backupFolder(archive) / "nota.txt"));
    EXPECT_TRUE(std::filesystem::exists(backupFolder(archive) / "Altro-2025-01-01-000000.xls"));
}

TEST_F(ArchiveBackupTest, AFolderThatCannotBeMadeIsReportedInItalian) {
    writeArchive("archivio");
    std::ofstream(backupFolder(archive)) << "un file al posto della cartella";
    try {
        backUpArchive(archive, Clock::now());
        FAIL() << "no error";
    } catch (const clivara::archive::ArchiveError& error) {
        EXPECT_NE(std::string(error.what()).find("La copia di sicurezza"), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(contentOf(archive), "archivio");
}

}  // namespace
