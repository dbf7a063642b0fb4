#pragma once

#include <QtGlobal>
#include <optional>

namespace zariza {

// How many bytes more this process can take before an allocation fails or the system runs short.
// Unset where there is no limit, or where it cannot be read (everywhere but on Linux).
struct MemoryRoom {
    std::optional<qint64> addressSpace; // below RLIMIT_AS
    std::optional<qint64> dataSegment;  // below RLIMIT_DATA
    std::optional<qint64> available;    // MemAvailable and free swap, shared with everyone
    // Below the memory limit of this process's control group and each group above it, where
    // the kernel would end the process rather than fail an allocation.
    std::optional<qint64> controlGroup;
};

MemoryRoom memoryRoom();

} // namespace zariza
