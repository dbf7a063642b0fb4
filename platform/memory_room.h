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
    // Below the memory limit of this process's control group and each group above it, where
    // the kernel would end the process rather than fail an allocation (Linux only).
    std::optional<qint64> controlGroup;
};

MemoryRoom memoryRoom();

} // namespace zariza
