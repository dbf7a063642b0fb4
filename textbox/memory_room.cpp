#include "memory_room.h"

#ifdef Q_OS_LINUX
#include <QByteArray>
#include <QHash>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace zariza {

#ifdef Q_OS_LINUX

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
    return room;
}

#else

MemoryRoom memoryRoom() {
    return {};
}

#endif

} // namespace zariza
