#pragma once

#include <QFile>

namespace zariza {

// Opens the regular file `fileName` for reading into `file`. The checks before this can be
// outrun: a FIFO put in the file's place afterwards must not block the open and freeze the
// window. Throws RuntimeError with a Chinese reason.
void openRegularFile(QFile &file, const QString &fileName);

} // namespace zariza
