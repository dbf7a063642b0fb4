#include "regular_file.h"

#include "file_errors.h"
#include "runtime_error.h"

#include <cerrno>

namespace zariza {

// Windows' pipes live outside the file system: nothing that would block can take a file's place.
void openRegularFile(QFile &file, const QString &fileName) {
    file.setFileName(fileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly))
        throw RuntimeError(reasonForFileError(file, errno), fileName);
}

} // namespace zariza
