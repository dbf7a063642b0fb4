#include "regular_file.h"

#include "file_errors.h"
#include "runtime_error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zariza {

// Opened without blocking, then what was actually opened is checked.
void openRegularFile(QFile &file, const QString &fileName) {
    const int descriptor =
        ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        const QString reason = reasonForErrno(errno);
        throw RuntimeError(reason.isEmpty() ? QStringLiteral("无法打开") : reason, fileName);
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        throw RuntimeError(QStringLiteral("这不是普通文件"), fileName);
    }
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    if (!file.open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(descriptor);
        throw RuntimeError(reasonForFileError(file, errno), fileName);
    }
}

} // namespace zariza
