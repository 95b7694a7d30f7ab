#pragma once

#include <cstddef>

namespace clivara::archive {

// Asks the kernel to back a freshly reserved buffer of megabytes with large pages and to map
// it in one go, instead of taking one page fault per 4 KiB while it is filled. Only advice:
// where the kernel does not support it, nothing changes.
void prepareLargeBuffer(void* data, std::size_t bytes);

}  // namespace clivara::archive
