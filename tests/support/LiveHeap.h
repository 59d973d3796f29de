#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
// From the sanitizer's allocator interface, whose header GCC does not ship.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace orvelle::test {

// Bytes the process's own allocations hold now, whatever the system lent it.
inline std::size_t liveHeapBytes()
{
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

} // namespace orvelle::test
