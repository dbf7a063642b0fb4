#pragma once

#include <QString>

namespace zariza {

// Buffers of a whole document are megabytes long and written once from start to end. Fresh
// memory costs a page fault for every 4 KiB first touched, which on some machines takes longer
// than filling the page; asked for large pages, the system faults in 2 MiB at a time.
void adviseLargePages(void *data, qsizetype bytes);

// Gives the whole pages within the `bytes` from `data` back to the system, for a buffer that will
// not be read there again.
void releasePages(const void *data, qsizetype bytes);

// Makes the allocator map large blocks of their own, so that a document's buffers, grown piece by
// piece, grow in place rather than being copied at every doubling. Called once, at start.
void mapLargeBlocks();

// An empty string with room for `capacity` characters, in large pages where they are offered.
inline QString largeString(qsizetype capacity) {
    QString text;
    text.reserve(capacity);
    adviseLargePages(text.data(), capacity * qsizetype(sizeof(QChar)));
    return text;
}

} // namespace zariza
