#include "large_buffers.h"

#include <QtGlobal>
#include <cstdint>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zariza {

namespace {

#ifdef Q_OS_LINUX
// Only whole pages inside the buffer, so that no neighbouring allocation is touched.
void adviseWholePages(const void *data, qsizetype bytes, std::uintptr_t pageSize, int advice) {
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + pageSize - 1) & ~(pageSize - 1);
    const std::uintptr_t end = (start + std::uintptr_t(bytes)) & ~(pageSize - 1);
    if (end > first)
        madvise(reinterpret_cast<void *>(first), end - first, advice);
}
#endif

} // namespace

void adviseLargePages(void *data, qsizetype bytes) {
#ifdef Q_OS_LINUX
    adviseWholePages(data, bytes, 2u << 20, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

void releasePages(const void *data, qsizetype bytes) {
#ifdef Q_OS_LINUX
    adviseWholePages(data, bytes, std::uintptr_t(sysconf(_SC_PAGESIZE)), MADV_DONTNEED);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

QString largeString(qsizetype capacity) {
    QString text;
    text.reserve(capacity);
    adviseLargePages(text.data(), capacity * qsizetype(sizeof(QChar)));
    return text;
}

} // namespace zariza
