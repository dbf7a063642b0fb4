#include "large_buffers.h"

#include <cstdint>
#include <windows.h>

namespace zariza {

// Large pages on Windows need the "lock pages in memory" privilege, which users do not hold.
void adviseLargePages(void * /*data*/, qsizetype /*bytes*/) {}

// Only whole pages inside the buffer, so that no neighbouring allocation is touched; their
// contents are undefined afterwards. MEM_RESET rather than DiscardVirtualMemory, which Wine lacks.
void releasePages(const void *data, qsizetype bytes) {
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    const auto pageSize = std::uintptr_t(system.dwPageSize);
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t end = (start + std::uintptr_t(bytes)) & ~(pageSize - 1);
    if (end > first)
        VirtualAlloc(reinterpret_cast<void *>(first), end - first, MEM_RESET, PAGE_READWRITE);
}

// The Windows heap already gives large blocks a mapping of their own.
void mapLargeBlocks() {}

} // namespace zariza
