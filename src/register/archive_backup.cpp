#include "register/archive_backup.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

#include "archive/archive_error.h"
#include "archive/container/atomic_file.h"

namespace clivara::customers {

namespace {

constexpr std::size_t kNewestKept = 10;
constexpr int kDaysKept = 30;

std::string stamp(std::chrono::system_clock::time_point when, const char* format) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, format, &local);
    return text;
}

[[noreturn]] void backupFailed(const std::filesystem::path& file, const std::string& why) {
    throw archive::ArchiveError(
        archive::ArchiveProblem::WriteFailed,
        "La copia di sicurezza \"" + file.string() + "\" non può essere scritta: " + why + ".");
}

// Backups of this archive by name; the stamp in the name sorts them by time.
std::vector<std::filesystem::path> backupsOf(const std::filesystem::path& folder,
                                             const std::string& prefix) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        // prefix, then AAAA-MM-GG-hhmmss, maybe "-n", then ".xls"
        if (name.size() >= prefix.size() + 21 && name.compare(0, prefix.size(), prefix) == 0 &&
            name.ends_with(".xls") && entry.is_regular_file(ec)) {
            found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end(), std::greater<>());
    return found;
}

void prune(const std::filesystem::path& folder, const std::string& prefix,
           std::chrono::system_clock::time_point now) {
    const std::string oldestDay = stamp(now - std::chrono::hours(24 * kDaysKept), "%Y-%m-%d");
    std::map<std::string, bool> dayKept;
    const std::vector<std::filesystem::path> backups = backupsOf(folder, prefix);
    for (std::size_t i = 0; i < backups.size(); ++i) {
        const std::string day = backups[i].filename().string().substr(prefix.size(), 10);
        const bool newestOfItsDay = !dayKept[day];
        dayKept[day] = true;
        if (i < kNewestKept || (newestOfItsDay && day >= oldestDay)) continue;
        std::error_code ignored;
        std::filesystem::remove(backups[i], ignored);
    }
}

}  // namespace

std::filesystem::path backupFolder(const std::filesystem::path& archive) {
    return archive.parent_path() / "Backup";
}

std::filesystem::path backUpArchive(const std::filesystem::path& archive,
                                    std::chrono::system_clock::time_point now) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(archive, ec)) return {};
    const std::filesystem::path folder = backupFolder(archive);
    std::filesystem::create_directories(folder, ec);
    if (ec) backupFailed(folder, ec.message());

    const std::string prefix = archive.stem().string() + "-";
    const std::string base = prefix + stamp(now, "%Y-%m-%d-%H%M%S");
    std::filesystem::path backup;
    for (int n = 1;; ++n) {
        backup = folder / (base + (n == 1 ? "" : "-" + std::to_string(n)) + ".xls");
        if (!std::filesystem::exists(backup, ec)) break;
        if (n > 100) backupFailed(backup, "esiste già");
    }
    if (::link(archive.c_str(), backup.c_str()) != 0) {
        // A file system without links, or the archive on another one: a copy, flushed.
        try {
            const std::vector<std::uint8_t> bytes = archive::readWholeFile(archive);
            archive::replaceFileAtomically(backup, bytes);
        } catch (const archive::ArchiveError& error) {
            backupFailed(backup, error.what());
        }
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    prune(folder, prefix, now);
    return backup;
}

}  // namespace clivara::customers
