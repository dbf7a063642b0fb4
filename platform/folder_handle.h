#pragma once

#include <QString>

namespace zariza {

// A folder held open, as the system holds a process's working folder, so that one removed since
// is noticed even when another has been made under its name.
class FolderHandle {
public:
    explicit FolderHandle(const QString &path);
    ~FolderHandle();
    FolderHandle(const FolderHandle &) = delete;
    FolderHandle &operator=(const FolderHandle &) = delete;

    // Still there, and still the folder that `path` names.
    bool isAt(const QString &path) const;

private:
    int m_descriptor = -1; // Linux's; Windows does not let a folder that is open go
};

} // namespace zariza
