#include "operations/desk_lock.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <thread>
#include <utility>

namespace clivara::operations {

namespace {

// Lock texts are small; anything beyond this is not looked at.
constexpr std::size_t kReadLimit = 4096;
// How long a lock directory without its holder's text counts as being written right now.
constexpr std::int64_t kHolderWriteSeconds = 5;
// A name just removed through one SMB mount cannot be made again through another for about a
// second (ENOENT): tried again this long.
constexpr auto kRetryFor = std::chrono::milliseconds(3000);
constexpr auto kRetryStep = std::chrono::milliseconds(100);

std::int64_t nowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return std::nullopt;
    std::string bytes;
    std::array<char, 512> buffer{};
    while (bytes.size() < kReadLimit) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        bytes.append(buffer.data(), static_cast<std::size_t>(count));
    }
    ::close(fd);
    if (bytes.size() > kReadLimit) bytes.resize(kReadLimit);
    return bytes;
}

bool writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        done += static_cast<std::size_t>(count);
    }
    return true;
}

// Writes a new file exclusively with the text, flushed; false (errno set) on failure, with
// nothing left behind.
bool createWithText(const std::filesystem::path& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool written = writeAll(fd, text) && ::fsync(fd) == 0;
    const int error = errno;
    ::close(fd);
    if (!written) {
        ::unlink(path.c_str());
        errno = error;
    }
    return written;
}

std::string randomToken() {
    std::array<unsigned char, 12> bytes{};
    if (::getrandom(bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
        // No entropy to be had: the time and the process still tell two desks apart.
        const auto mixed = static_cast<std::uint64_t>(
            std::chrono::steady_clock::now().time_since_epoch().count() ^ (::getpid() << 20));
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<unsigned char>(mixed >> (8 * (i % 8)));
        }
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string token;
    for (const unsigned char byte : bytes) {
        token += kHex[byte >> 4];
        token += kHex[byte & 0x0f];
    }
    return token;
}

std::string userName() {
    if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_name) {
        return entry->pw_name;
    }
    const char* fromEnvironment = ::getenv("USER");
    return fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : "utente";
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\r')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

template <class Number>
bool parseNumber(std::string_view text, Number& value) {
    text = trimmed(text);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

// Lines without control characters, so that a name cannot add lines of its own.
std::string oneLine(std::string_view text) {
    std::string line;
    for (const char c : text) line += (static_cast<unsigned char>(c) < 0x20) ? ' ' : c;
    return line;
}

std::int64_t mtimeSeconds(const struct stat& info) {
    return static_cast<std::int64_t>(info.st_mtim.tv_sec);
}

void pause(std::chrono::milliseconds step) {
    std::this_thread::sleep_for(step);
}

}  // namespace

DeskLock::DeskLock(std::filesystem::path archive) : archive_(std::move(archive)) {
    own_.pid = static_cast<long>(::getpid());
    own_.host = thisHost();
    own_.user = userName();
    own_.token = randomToken();
}

DeskLock::~DeskLock() {
    release();
}

std::filesystem::path DeskLock::lockPath(const std::filesystem::path& archive) {
    return archive.parent_path() / ("." + archive.filename().string() + ".clivara-lock");
}

std::filesystem::path DeskLock::holderFile() const {
    return lockPath(archive_) / "holder";
}

std::string DeskLock::thisHost() {
    std::array<char, HOST_NAME_MAX + 1> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0 || name[0] == '\0') return "localhost";
    return name.data();
}

bool DeskLock::runsHere(const LockHolder& holder) {
    if (holder.host != thisHost() || holder.pid <= 0 || holder.pid > 0x3fffffff) return false;
    return ::kill(static_cast<pid_t>(holder.pid), 0) == 0 || errno == EPERM;
}

bool DeskLock::endedHere(const LockHolder& holder) {
    return holder.host == thisHost() && !runsHere(holder);
}

bool DeskLock::silent(const LockState& state, std::int64_t now) {
    return state.present && now - state.heartbeat > kSilenceBeforeStale.count();
}

std::string DeskLock::holderText(const LockHolder& holder) {
    // The first two lines are those of the older lock file: its pid and its computer.
    return std::to_string(holder.pid) + "\n" + oneLine(holder.host) +
           "\nuser=" + oneLine(holder.user) + "\nsince=" + std::to_string(holder.since) +
           "\ntoken=" + oneLine(holder.token) + "\n";
}

std::optional<LockHolder> DeskLock::parseHolder(std::string_view text) {
    LockHolder holder;
    int line = 0;
    bool complete = false;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos) break;  // a line without its end: still being written
        const std::string_view current = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (line == 0) {
            if (!parseNumber(current, holder.pid) || holder.pid <= 0) return std::nullopt;
        } else if (line == 1) {
            holder.host = std::string(trimmed(current));
            complete = true;
        } else if (current.starts_with("user=")) {
            holder.user = std::string(current.substr(5));
        } else if (current.starts_with("since=")) {
            if (!parseNumber(current.substr(6), holder.since)) holder.since = 0;
        } else if (current.starts_with("token=")) {
            holder.token = std::string(current.substr(6));
        }
        ++line;
    }
    if (!complete) return std::nullopt;
    return holder;
}

LockState DeskLock::inspect(const std::filesystem::path& archive) {
    LockState state;
    const std::filesystem::path place = lockPath(archive);
    struct stat info {};
    if (::lstat(place.c_str(), &info) != 0) return state;
    state.present = true;
    state.heartbeat = mtimeSeconds(info);
    // The older form of the lock was a plain file holding the text itself.
    const std::filesystem::path file = S_ISDIR(info.st_mode) ? place / "holder" : place;
    if (S_ISDIR(info.st_mode)) {
        struct stat holderInfo {};
        if (::stat(file.c_str(), &holderInfo) == 0) state.heartbeat = mtimeSeconds(holderInfo);
    }
    if (const std::optional<std::string> text = readSmallFile(file)) {
        state.holder = parseHolder(*text);
    }
    return state;
}

bool DeskLock::holdsOwnText() const {
    const std::optional<std::string> text = readSmallFile(holderFile());
    return text && *text == holderText(own_);
}

bool DeskLock::writeHolder() {
    own_.since = nowSeconds();
    if (!createWithText(holderFile(), holderText(own_))) return false;
    if (!holdsOwnText()) {
        errno = EIO;
        return false;
    }
    return true;
}

DeskLock::Result DeskLock::acquire() {
    if (held_) return Result::Acquired;
    const std::filesystem::path place = lockPath(archive_);
    const auto deadline = std::chrono::steady_clock::now() + kRetryFor;
    for (;;) {
        error_ = 0;
        if (::mkdir(place.c_str(), 0755) == 0) {
            if (writeHolder()) {
                held_ = true;
                state_ = inspect(archive_);
                return Result::Acquired;
            }
            error_ = errno;
            ::unlink(holderFile().c_str());
            ::rmdir(place.c_str());
            return Result::Failed;
        }
        const int error = errno;
        const bool early = std::chrono::steady_clock::now() < deadline;
        if (error == EEXIST) {
            state_ = inspect(archive_);
            // A desk that has just made the directory is still writing its text.
            if (state_.present && !state_.holder && early &&
                nowSeconds() - state_.heartbeat < kHolderWriteSeconds) {
                pause(kRetryStep);
                continue;
            }
            if (!state_.present && early) continue;  // removed meanwhile
            return state_.present ? Result::Held : Result::Failed;
        }
        struct stat folder {};
        const std::filesystem::path parent =
            archive_.parent_path().empty() ? std::filesystem::path(".") : archive_.parent_path();
        if (error == ENOENT && early && ::stat(parent.c_str(), &folder) == 0) {
            pause(kRetryStep);  // a lock removed elsewhere a moment ago
            continue;
        }
        error_ = error;
        return Result::Failed;
    }
}

DeskLock::Result DeskLock::takeOver(const LockState& seen, std::chrono::milliseconds settle) {
    if (held_) return Result::Acquired;
    const std::filesystem::path place = lockPath(archive_);
    state_ = inspect(archive_);
    if (!state_.present) return acquire();
    // Taken over only as it was judged: a new sign of life, or another holder, is respected.
    if (state_.holder != seen.holder || state_.heartbeat != seen.heartbeat) return Result::Held;
    struct stat info {};
    if (::lstat(place.c_str(), &info) == 0 && !S_ISDIR(info.st_mode)) {
        ::unlink(place.c_str());  // the older form of the lock
        return acquire();
    }
    own_.since = nowSeconds();
    const std::filesystem::path fresh = place / ("holder." + own_.token);
    if (!createWithText(fresh, holderText(own_))) {
        error_ = errno;
        if (error_ == ENOENT) return acquire();  // the directory went meanwhile
        return Result::Failed;
    }
    bool replaced = false;
    for (int attempt = 0; attempt < 20 && !replaced; ++attempt) {
        replaced = ::rename(fresh.c_str(), holderFile().c_str()) == 0;
        // Renaming over a file that another desk has open fails on some SMB clients.
        if (!replaced) pause(kRetryStep);
    }
    if (!replaced) {
        ::unlink(fresh.c_str());
        state_ = inspect(archive_);
        return Result::Held;
    }
    pause(settle);
    if (holdsOwnText()) {
        held_ = true;
        state_ = inspect(archive_);
        return Result::Acquired;
    }
    state_ = inspect(archive_);
    return Result::Held;
}

bool DeskLock::heartbeat() {
    if (!held_) return false;
    if (!holdsOwnText()) return false;
    return ::utimensat(AT_FDCWD, holderFile().c_str(), nullptr, 0) == 0;
}

void DeskLock::release() {
    if (!held_) return;
    held_ = false;
    ::unlink((lockPath(archive_) / ("holder." + own_.token)).c_str());
    // Through an SMB client a read of the holder's file can fail for a moment, and its removal
    // lag behind the unlink (the directory is then not yet empty): tried until the lock is
    // gone, for a while, so that no lock of ours stays behind to shut the next desk out.
    const std::filesystem::path place = lockPath(archive_);
    const auto deadline = std::chrono::steady_clock::now() + kRetryFor;
    for (;;) {
        const std::optional<std::string> text = readSmallFile(holderFile());
        if (text && *text != holderText(own_)) return;  // another desk's now: it stays
        // Refused while a handle to it is still open (the read just made, closed by the
        // client a moment later, or another desk's look): the removal is tried again, not
        // the read.
        while (text && ::unlink(holderFile().c_str()) != 0 && errno != ENOENT &&
               std::chrono::steady_clock::now() < deadline) {
            pause(kRetryStep);
        }
        ::rmdir(place.c_str());  // only ever removes an empty directory
        struct stat info {};
        if (::lstat(place.c_str(), &info) != 0 && errno == ENOENT) return;
        if (std::chrono::steady_clock::now() >= deadline) return;
        pause(kRetryStep);
    }
}

}  // namespace clivara::operations
