#include "archive/container/large_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace clivara::archive {

void prepareLargeBuffer(void* data, std::size_t bytes) {
    constexpr std::size_t kWorthIt = 1 << 20;
    if (data == nullptr || bytes < kWorthIt) {
        return;
    }
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(page - 1);
    if (end <= begin) {
        return;
    }
    void* aligned = reinterpret_cast<void*>(begin);
    const std::size_t length = end - begin;
#ifdef MADV_HUGEPAGE
    ::madvise(aligned, length, MADV_HUGEPAGE);
#endif
#ifdef MADV_POPULATE_WRITE
    ::madvise(aligned, length, MADV_POPULATE_WRITE);
#endif
}

}  // namespace clivara::archive
