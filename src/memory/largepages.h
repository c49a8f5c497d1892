#pragma once
// Advice to the platform's memory manager about a buffer.
#include <cstddef>

namespace memory {

// The whole pages of [data, data + size) are about to be written: on Linux
// they are asked for as large pages, elsewhere nothing is done. Whether a
// buffer is big enough to be worth it is the caller's call.
void AdviseLargePages(void* data, size_t size);

}  // namespace memory
