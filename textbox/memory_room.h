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
};

MemoryRoom memoryRoom();

} // namespace zariza
