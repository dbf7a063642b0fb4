#include "large_buffers.h"

#include <cstdint>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

namespace zariza {

namespace {

// Only whole pages inside the buffer, so that no neighbouring allocation is touched.
void adviseWholePages(const void *data, qsizetype bytes, std::uintptr_t pageSize, int advice) {
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t end = (start + std::uintptr_t(bytes)) & ~(pageSize - 1);
    if (end > first)
        madvise(reinterpret_cast<void *>(first), end - first, advice);
}

} // namespace

void adviseLargePages(void *data, qsizetype bytes) {
    adviseWholePages(data, bytes, 2u << 20, MADV_HUGEPAGE);
}

// The pages read as zeros afterwards.
void releasePages(const void *data, qsizetype bytes) {
    adviseWholePages(data, bytes, std::uintptr_t(sysconf(_SC_PAGESIZE)), MADV_DONTNEED);
}

// glibc serves blocks below a threshold from its heap, and raises the threshold to the size of
// any mapped block freed, up to 32 MiB; a fixed threshold keeps large blocks mapped.
void mapLargeBlocks() {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
}

} // namespace zariza
