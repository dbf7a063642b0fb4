#include "folder_handle.h"

#include <QFile>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zariza {

FolderHandle::FolderHandle(const QString &path)
    : m_descriptor(::open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}

FolderHandle::~FolderHandle() {
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

// Still linked, and the same file as the one `path` names.
bool FolderHandle::isAt(const QString &path) const {
    struct stat held {};
    struct stat named {};
    return m_descriptor >= 0 && ::fstat(m_descriptor, &held) == 0 && held.st_nlink > 0 &&
           ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

} // namespace zariza
