#include "large_buffers.h"

#include <QtGlobal>
#include <cstdint>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace zariza {

void adviseLargePages(void *data, qsizetype bytes) {
#ifdef Q_OS_LINUX
    // Only whole large pages inside the buffer, so that no neighbouring allocation is touched.
    constexpr std::uintptr_t largePage = 2u << 20;
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + largePage - 1) & ~(largePage - 1);
    const std::uintptr_t end = (start + std::uintptr_t(bytes)) & ~(largePage - 1);
    if (end > first)
        madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(bytes);
#endif
}

void releasePages(const void *data, qsizetype bytes) {
#ifdef Q_OS_LINUX
    const auto page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (start + page - 1) & ~(page - 1);
    const std::uintptr_t end = (start + std::uintptr_t(bytes)) & ~(page - 1);
    if (end > first)
        madvise(reinterpret_cast<void *>(first), end - first, MADV_DONTNEED);
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
