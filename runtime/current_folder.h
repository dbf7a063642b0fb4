#pragma once

#include <QString>
#include <memory>

namespace zariza {

class FolderHandle;

// The folder the preview page goes to and the file dialog starts in: that of the last file chosen,
// at first the folder the program started in. The folder is held open, so that one removed since
// it was entered is noticed even when another has been made under its name.
class CurrentFolder {
public:
    CurrentFolder(); // the folder the program started in
    void enter(const QString &folder);
    // The folder's path. Throws RuntimeError when it has been removed or cannot be reached.
    QString path() const;
    // The path entered last, whether or not the folder is still there.
    const QString &entered() const { return m_path; }

private:
    QString m_path;
    std::shared_ptr<const FolderHandle> m_handle;
};

} // namespace zariza
