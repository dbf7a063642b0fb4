#include "folder_handle.h"

#include <QFileInfo>

namespace zariza {

// Windows does not let a folder that is open go, nor is one opened here.
FolderHandle::FolderHandle(const QString & /*path*/) {}

FolderHandle::~FolderHandle() = default;

bool FolderHandle::isAt(const QString &path) const {
    return QFileInfo(path).isDir();
}

} // namespace zariza
