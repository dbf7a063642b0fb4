#include "memory_room.h"

#include <algorithm>
#include <windows.h>
// After windows.h, which it needs.
#include <psapi.h>

namespace zariza {

namespace {

// Private bytes this process has committed: what a job's memory limits count.
std::optional<qint64> committedByThisProcess() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                              sizeof counters))
        return std::nullopt;
    return qint64(counters.PrivateUsage);
}

// The room below the memory limits of the job the process runs in (a sandbox, a service host,
// a terminal server), the tighter of the process and the job limit.
std::optional<qint64> roomInJob() {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION job{};
    if (!QueryInformationJobObject(nullptr, JobObjectExtendedLimitInformation, &job, sizeof job,
                                   nullptr))
        return std::nullopt;
    std::optional<qint64> limit;
    if (job.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_PROCESS_MEMORY)
        limit = qint64(job.ProcessMemoryLimit);
    if (job.BasicLimitInformation.LimitFlags & JOB_OBJECT_LIMIT_JOB_MEMORY)
        limit = std::min(limit.value_or(qint64(job.JobMemoryLimit)), qint64(job.JobMemoryLimit));
    const std::optional<qint64> used = committedByThisProcess();
    if (!limit || !used)
        return std::nullopt;
    return *limit - *used;
}

} // namespace

MemoryRoom memoryRoom() {
    MemoryRoom room;
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (GlobalMemoryStatusEx(&status)) {
        room.addressSpace = qint64(status.ullAvailVirtual);
        // An allocation fails when the commit limit (memory and page file) is reached.
        room.available = qint64(status.ullAvailPageFile);
    }
    room.dataSegment = roomInJob();
    return room;
}

} // namespace zariza
