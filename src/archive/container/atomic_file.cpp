#include "archive/container/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

#include "archive/archive_error.h"
#include "archive/container/large_buffer.h"

namespace clivara::archive {

namespace {

// No archive comes near this; the bound keeps a wrong file from exhausting memory.
constexpr std::uint64_t kLargestReadable = std::uint64_t{1} << 30;

std::atomic<int> injectedWriteErrno{0};

// The reason behind an errno, in Italian, for messages the user reads.
std::string reason(int error) {
    switch (error) {
        case ENOSPC:
            return "disco pieno";
        case EDQUOT:
            return "spazio disco esaurito per questo utente";
        case EACCES:
        case EPERM:
            return "permesso negato";
        case EROFS:
            return "cartella in sola lettura";
        case ENOENT:
        case ENOTDIR:
            return "la cartella non esiste";
        case EISDIR:
            return "è una cartella";
        case EIO:
            return "errore di lettura o scrittura sul disco";
        case EBUSY:
        case ETXTBSY:
            return "il file è in uso";
        case ENAMETOOLONG:
            return "nome troppo lungo";
        case ELOOP:
            return "troppi collegamenti simbolici";
        case EMFILE:
        case ENFILE:
            return "troppi file aperti";
        case ENOMEM:
            return "memoria insufficiente";
        case EFBIG:
            return "file troppo grande";
        default:
            return "errore di sistema " + std::to_string(error) + " (" + std::strerror(error) + ")";
    }
}

std::string quoted(const std::filesystem::path& path) {
    return "\"" + path.string() + "\"";
}

[[noreturn]] void unreadable(const std::filesystem::path& path, const std::string& why) {
    throw ArchiveError(ArchiveProblem::Unreadable,
                       "Il file " + quoted(path) + " non può essere letto: " + why + ".");
}

[[noreturn]] void writeFailed(const std::filesystem::path& path, int error) {
    throw ArchiveError(
        ArchiveProblem::WriteFailed,
        "Il file " + quoted(path) + " non può essere salvato: " + reason(error) + ".");
}

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    // Closes now and reports close's own error (0 on success).
    int close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0 ? 0 : errno;
    }

  private:
    int fd_;
};

// Writes every byte at position, going on after short writes and interrupted calls; 0 or the
// errno.
int writeAllAt(int fd, std::uint64_t position, std::span<const std::uint8_t> bytes) {
    if (const int injected = injectedWriteErrno.load(); injected != 0) return injected;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                                   static_cast<off_t>(position + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

void setWriteFailureForTesting(int errnoValue) {
    injectedWriteErrno.store(errnoValue);
}

std::vector<std::uint8_t> readWholeFile(const std::filesystem::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            throw ArchiveError(ArchiveProblem::Missing, "Il file " + quoted(path) + " non esiste.");
        }
        unreadable(path, reason(error));
    }
    if (S_ISDIR(info.st_mode)) unreadable(path, "è una cartella");
    if (!S_ISREG(info.st_mode)) unreadable(path, "non è un file normale");

    // O_NONBLOCK keeps a file swapped for a pipe since the stat() from hanging the open.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) unreadable(path, reason(errno));
    if (::fstat(fd.get(), &info) != 0) unreadable(path, reason(errno));
    if (!S_ISREG(info.st_mode)) unreadable(path, "non è un file normale");
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (size > kLargestReadable) unreadable(path, "è troppo grande per essere un archivio");

    // Read in chunks appended to reserved room: zero-filling a buffer of the file's size first
    // would cost a second pass over megabytes of memory.
    std::vector<std::uint8_t> bytes;
    bytes.reserve(static_cast<std::size_t>(size));
    prepareLargeBuffer(bytes.data(), bytes.capacity());
    std::array<std::uint8_t, 65536> chunk;
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            unreadable(path, reason(errno));
        }
        if (n == 0) break;  // the end, also when the file shrank while we read it
        if (bytes.size() + static_cast<std::size_t>(n) > kLargestReadable) {
            unreadable(path, "è troppo grande per essere un archivio");
        }
        bytes.insert(bytes.end(), chunk.data(), chunk.data() + n);
    }
    if (bytes.empty()) {
        throw ArchiveError(ArchiveProblem::Empty,
                           "Il file " + quoted(path) + " è vuoto: non contiene alcun archivio.");
    }
    return bytes;
}

void replaceFileAtomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
    replaceFileAtomically(path, [bytes](const PositionedWrite& write) { write(0, bytes); });
}

void replaceFileAtomically(const std::filesystem::path& path,
                           const std::function<void(const PositionedWrite& write)>& fill) {
    // A link is followed so the file it points to is replaced, not the link.
    std::filesystem::path target = path;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec) target = resolved;
    }
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;
    if (existed && S_ISDIR(old.st_mode)) writeFailed(path, EISDIR);
    // A file made read-only stays as it is, as the spreadsheet application would leave it.
    if (existed && ::access(target.c_str(), W_OK) != 0 && errno == EACCES) {
        writeFailed(path, EACCES);
    }

    std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    FileDescriptor fd(::mkstemp(pattern.data()));
    if (fd.get() < 0) writeFailed(path, errno);
    const std::string temporary = pattern;

    auto fail = [&](int error) {
        if (fd.get() >= 0) fd.close();
        ::unlink(temporary.c_str());
        writeFailed(path, error);
    };

    const mode_t mode = existed ? (old.st_mode & 07777) : (0666 & ~currentUmask());
    if (existed && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Keeps the owner where we may (as root); otherwise the new file is ours.
        [[maybe_unused]] const int ignored = ::fchown(fd.get(), old.st_uid, old.st_gid);
    }
    if (::fchmod(fd.get(), mode) != 0) fail(errno);
    int writeError = 0;
    const PositionedWrite write = [&](std::uint64_t position, std::span<const std::uint8_t> bytes) {
        const int error = writeAllAt(fd.get(), position, bytes);
        if (error != 0 && writeError == 0) writeError = error;
        return error;
    };
    try {
        fill(write);
    } catch (...) {
        if (writeError != 0) fail(writeError);
        fd.close();
        ::unlink(temporary.c_str());
        throw;
    }
    if (writeError != 0) fail(writeError);
    if (::fsync(fd.get()) != 0) fail(errno);
    if (const int error = fd.close(); error != 0) fail(error);
    if (::rename(temporary.c_str(), target.c_str()) != 0) fail(errno);

    // The rename is done: the new file is in place. Flushing the folder makes the rename
    // survive a power cut; a folder that cannot be flushed does not undo the save.
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

}  // namespace clivara::archive
