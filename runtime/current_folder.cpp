#include "current_folder.h"

#include "runtime_services.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zariza {

// An open descriptor of the folder, as the system holds a process's working folder.
struct CurrentFolder::Handle {
#ifdef Q_OS_UNIX
    explicit Handle(const QString &path)
        : fd(::open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC)) {}
    ~Handle() {
        if (fd >= 0)
            ::close(fd);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;

    // Still linked, and still the folder that `path` names.
    bool isAt(const QString &path) const {
        struct stat held {};
        struct stat named {};
        return fd >= 0 && ::fstat(fd, &held) == 0 && held.st_nlink > 0 &&
               ::stat(QFile::encodeName(path).constData(), &named) == 0 &&
               held.st_dev == named.st_dev && held.st_ino == named.st_ino;
    }

    int fd;
#else
    // Windows does not let a folder that is open go, nor is one opened here.
    explicit Handle(const QString &) {}
    bool isAt(const QString &path) const {
        return QFileInfo(path).isDir();
    }
#endif
};

CurrentFolder::CurrentFolder() {
    enter(QDir::currentPath());
}

void CurrentFolder::enter(const QString &folder) {
    m_path = folder;
    m_handle = std::make_shared<const Handle>(folder);
}

QString CurrentFolder::path() const {
    if (m_path.isEmpty() || !m_handle->isAt(m_path))
        throw RuntimeError(QStringLiteral("当前文件夹已被删除或无法访问"), m_path);
    return m_path;
}

} // namespace zariza
