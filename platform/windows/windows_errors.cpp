#include "windows_errors.h"

#include "file_errors.h"

#include <cerrno>
#include <windows.h>

namespace zariza {

namespace {

// The errno that says the same thing, where there is one.
int errnoFor(unsigned long error) {
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
        return EACCES;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
        return ENOENT;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
        return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return 0;
    }
}

// The system's own words, in the system's language.
QString systemText(unsigned long error) {
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    const QString message = QString::fromWCharArray(text, int(length)).trimmed();
    LocalFree(text);
    return message.isEmpty() ? QStringLiteral("错误 %1").arg(error) : message;
}

} // namespace

QString describeWindowsError(unsigned long error) {
    switch (error) {
    // A file another program holds open without letting others replace it.
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
    case ERROR_USER_MAPPED_FILE:
        return QStringLiteral("文件正被其他程序使用");
    case ERROR_INVALID_NAME:
        return QStringLiteral("文件名中有不允许的字符");
    default:
        break;
    }
    const QString reason = reasonForErrno(errnoFor(error));
    return reason.isEmpty() ? QStringLiteral("无法访问（%1）").arg(systemText(error)) : reason;
}

} // namespace zariza
