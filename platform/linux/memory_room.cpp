#include "memory_room.h"

#include <QByteArray>
#include <QHash>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace zariza {

namespace {

// The "Name:   1234 kB" lines of a file under /proc, in bytes. Read with plain calls: through
// QFile, the two files took milliseconds, a good part of opening a small page.
QHash<QByteArray, qint64> kibibyteFields(const char *path) {
    QHash<QByteArray, qint64> fields;
    const int descriptor = ::open(path, O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return fields;
    char buffer[16384];
    const ssize_t size = ::read(descriptor, buffer, sizeof buffer);
    ::close(descriptor);
    if (size <= 0)
        return fields;
    for (const QByteArray &line : QByteArray::fromRawData(buffer, size).split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.endsWith(" kB"))
            fields.insert(line.first(colon),
                          line.sliced(colon + 1).chopped(3).trimmed().toLongLong() << 10);
    }
    return fields;
}

std::optional<qint64> roomBelow(int resource, const QHash<QByteArray, qint64> &status,
                                const QByteArray &usedField) {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        !status.contains(usedField))
        return std::nullopt;
    return qint64(limit.rlim_cur) - status.value(usedField);
}

// A file under /proc or /sys, whole; empty where it cannot be read.
QByteArray systemFile(const QByteArray &path) {
    QByteArray bytes;
    const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return bytes;
    char buffer[16384];
    for (ssize_t size; (size = ::read(descriptor, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, size);
    ::close(descriptor);
    return bytes;
}

// The "name value" line of a memory.stat file.
qint64 statField(const QByteArray &stat, const QByteArray &name) {
    for (const QByteArray &line : stat.split('\n')) {
        if (line.startsWith(name + ' '))
            return line.sliced(name.size() + 1).trimmed().toLongLong();
    }
    return 0;
}

// The version 2 group (where "0::" names it) or the version 1 memory group this process is in,
// as a folder under the hierarchy's mount point, which goes to `mountPoint`. Empty where there is
// none.
QByteArray ownControlGroup(bool *version2, QByteArray *mountPoint) {
    QByteArray groupPath;
    for (const QByteArray &line : systemFile("/proc/self/cgroup").split('\n')) {
        const QList<QByteArray> fields = line.split(':');
        if (fields.size() < 3)
            continue;
        if (fields[0] == "0" && fields[1].isEmpty() && groupPath.isEmpty()) {
            *version2 = true;
            groupPath = fields[2];
        } else if (fields[1].split(',').contains("memory")) {
            *version2 = false;
            groupPath = fields[2];
            break;
        }
    }
    // Where the hierarchy is mounted, and which of its groups is the mount's root.
    const QByteArray mounts = systemFile("/proc/self/mountinfo");
    for (const QByteArray &line : mounts.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (dash < 0 || dash + 3 >= fields.size() || fields.size() < 5)
            continue;
        const bool matches = *version2 ? fields[dash + 1] == "cgroup2"
                                       : fields[dash + 1] == "cgroup" &&
                                             fields[dash + 3].split(',').contains("memory");
        const QByteArray &root = fields[3];
        if (!matches || groupPath.isEmpty() ||
            !(root == "/" || groupPath == root || groupPath.startsWith(root + '/')))
            continue;
        *mountPoint = fields[4];
        return fields[4] + (root == "/" ? groupPath : groupPath.sliced(root.size()));
    }
    return {};
}

// What is left below each limit from this group up to the root, less what the kernel can take
// back (file pages it may drop); version 1 counts those in memory.stat as "total_inactive_file".
std::optional<qint64> controlGroupRoom() {
    bool version2 = true;
    QByteArray mountPoint;
    QByteArray group = ownControlGroup(&version2, &mountPoint);
    const QByteArray limitFile = version2 ? "/memory.max" : "/memory.limit_in_bytes";
    const QByteArray usageFile = version2 ? "/memory.current" : "/memory.usage_in_bytes";
    const QByteArray dropped = version2 ? "inactive_file" : "total_inactive_file";
    std::optional<qint64> room;
    for (; group.startsWith(mountPoint) && !mountPoint.isEmpty();
         group.truncate(group.lastIndexOf('/'))) {
        bool limited = false;
        const qint64 limit = systemFile(group + limitFile).trimmed().toLongLong(&limited);
        // Version 1 writes "no limit" as a number near 2^63.
        if (!limited || limit >= (qint64(1) << 60))
            continue;
        const qint64 used = systemFile(group + usageFile).trimmed().toLongLong() -
                            statField(systemFile(group + "/memory.stat"), dropped);
        if (!room || limit - used < *room)
            room = limit - used;
    }
    return room;
}

} // namespace

MemoryRoom memoryRoom() {
    const QHash<QByteArray, qint64> status = kibibyteFields("/proc/self/status");
    const QHash<QByteArray, qint64> system = kibibyteFields("/proc/meminfo");
    MemoryRoom room;
    room.addressSpace = roomBelow(RLIMIT_AS, status, "VmSize");
    // Since Linux 4.7 RLIMIT_DATA counts every private writable mapping, as VmData does.
    room.dataSegment = roomBelow(RLIMIT_DATA, status, "VmData");
    if (system.contains("MemAvailable"))
        room.available = system.value("MemAvailable") + system.value("SwapFree");
    room.controlGroup = controlGroupRoom();
    return room;
}

} // namespace zariza
