#include "file_errors.h"

#include <QFileDevice>
#include <cerrno>
#include <cstring>

namespace zariza {

QString reasonForErrno(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("没有权限");
    case ENOENT:
        return QStringLiteral("文件或文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一部分不是文件夹");
    case EISDIR:
        return QStringLiteral("这是一个文件夹，不是文件");
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return QStringLiteral("磁盘空间不足");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    case ENOMEM:
        return QStringLiteral("内存不足");
    default:
        return {};
    }
}

QString describeErrno(int error) {
    QString reason = reasonForErrno(error);
    if (!reason.isEmpty())
        return reason;
    return QStringLiteral("无法访问（%1）").arg(QString::fromLocal8Bit(std::strerror(error)));
}

QString reasonForFileError(const QFileDevice &file, int savedErrno) {
    QString reason = reasonForErrno(savedErrno);
    if (!reason.isEmpty())
        return reason;
    if (file.error() == QFileDevice::PermissionsError)
        return QStringLiteral("没有权限");
    return QStringLiteral("无法访问（%1）").arg(file.errorString());
}

} // namespace zariza
