#pragma once

#include <QtGlobal>
#include <optional>

namespace zariza {

// How many bytes more this process can take before an allocation fails or the system runs short.
// Unset where there is no limit, or where it cannot be read.
struct MemoryRoom {
    std::optional<qint64> addressSpace; // below RLIMIT_AS; on Windows the free address space
    std::optional<qint64> dataSegment;  // below RLIMIT_DATA; on Windows a job's memory limit
    std::optional<qint64> available;    // MemAvailable and free swap (on Windows the commit
                                        // limit's room), shared with everyone
};

MemoryRoom memoryRoom();

} // namespace zariza
