#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace clivara::operations {

// Who holds the archive for changing, as the lock says.
struct LockHolder {
    long pid = 0;
    std::string host;
    std::string user;
    std::int64_t since = 0;  // seconds since 1970; 0 when the lock does not say
    std::string token;       // drawn at random by the holder; empty in an old lock
    bool operator==(const LockHolder&) const = default;
};

// What stands at the lock's place beside the archive.
struct LockState {
    bool present = false;
    std::optional<LockHolder> holder;  // nothing while the holder is still being written
    std::int64_t heartbeat = 0;        // last sign of life, seconds since 1970 (the mtime)
};

// The lock that lets one desk at a time change an archive, also when the desks reach it
// through a network folder. It is a directory beside the archive (".Archivio.xls.clivara-lock")
// with the holder's text in a file inside it: creating a directory is one request to the file
// server, which only one desk can win, while creating a file exclusively is not atomic through
// every SMB client (two desks can both "create" it and their texts end up mixed). After the
// win the holder's text is read back, so a client that did not tell the truth is caught.
// The holder's file is touched every half minute while the program runs (heartbeat()): a lock
// whose last sign of life is older than kSilenceBeforeStale was left by a desk that ended
// badly. No Qt in here: a small program races it on two mounts of a share.
class DeskLock {
  public:
    static constexpr std::chrono::seconds kHeartbeatInterval{30};
    static constexpr std::chrono::seconds kSilenceBeforeStale{120};

    explicit DeskLock(std::filesystem::path archive);
    ~DeskLock();  // release()
    DeskLock(const DeskLock&) = delete;
    DeskLock& operator=(const DeskLock&) = delete;

    enum class Result { Acquired, Held, Failed };
    // Takes the lock when nobody holds it. Held: state() says who does. Failed: error() is the
    // errno of the folder (it cannot be written).
    Result acquire();
    // Takes over a lock left by a desk that ended badly, as it was seen (`seen`, from
    // state()): replaces its holder with ours unless it changed meanwhile (another sign of
    // life, or another desk took it), then waits `settle` and reads it back, so that of two
    // desks taking it over at once only the one whose text stands wins.
    Result takeOver(const LockState& seen,
                    std::chrono::milliseconds settle = std::chrono::milliseconds(1500));

    bool held() const { return held_; }
    const LockState& state() const { return state_; }
    int error() const { return error_; }
    const LockHolder& own() const { return own_; }

    // Refreshes the sign of life; false when the lock no longer holds our text.
    bool heartbeat();
    // Removes the lock if it still holds our text; safe to call more than once.
    void release();

    // What stands at the lock's place now.
    static LockState inspect(const std::filesystem::path& archive);
    static std::filesystem::path lockPath(const std::filesystem::path& archive);

    // This computer's name, and whether a holder on this computer is still running.
    static std::string thisHost();
    static bool runsHere(const LockHolder& holder);
    // A holder on this computer whose process has ended.
    static bool endedHere(const LockHolder& holder);
    // The lock's last sign of life is older than a running desk leaves it.
    static bool silent(const LockState& state, std::int64_t nowSeconds);

    static std::string holderText(const LockHolder& holder);
    static std::optional<LockHolder> parseHolder(std::string_view text);

  private:
    std::filesystem::path holderFile() const;
    bool writeHolder();
    bool holdsOwnText() const;

    std::filesystem::path archive_;
    LockHolder own_;
    LockState state_;
    int error_ = 0;
    bool held_ = false;
};

}  // namespace clivara::operations
