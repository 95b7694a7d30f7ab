// One desk of the lock race on a share: waits for the moment given (nanoseconds of the
// system clock), takes the desk lock of the archive, holds a won lock for the milliseconds
// given and releases it. Prints "vinto FROM TO" (the nanoseconds it held the lock, so that
// two desks holding it at once show as overlapping times), "occupato" or "errore".
// Usage: desk_lock_race ARCHIVE START_NS HOLD_MS
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "operations/desk_lock.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "uso: desk_lock_race ARCHIVIO INIZIO_NS TENUTA_MS\n");
        return 2;
    }
    const std::chrono::system_clock::time_point start{
        std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::nanoseconds(std::stoll(argv[2])))};
    std::this_thread::sleep_until(start);
    clivara::operations::DeskLock lock(argv[1]);
    const auto result = lock.acquire();
    if (result == clivara::operations::DeskLock::Result::Acquired) {
        const auto from = std::chrono::system_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[3])));
        const auto to = std::chrono::system_clock::now();
        lock.release();
        std::printf("vinto %lld %lld\n",
                    static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                               from.time_since_epoch())
                                               .count()),
                    static_cast<long long>(
                        std::chrono::duration_cast<std::chrono::nanoseconds>(to.time_since_epoch())
                            .count()));
        return 0;
    }
    std::puts(result == clivara::operations::DeskLock::Result::Held ? "occupato" : "errore");
    return 0;
}
