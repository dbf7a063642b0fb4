#include "atomic_file.h"

#include "file_errors.h"
#include "runtime_error.h"
#include "windows_errors.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <utility>
#include <windows.h>

namespace zariza {

namespace {

// Names are kept as UTF-16 with a closing zero, ready for the wide Win32 calls.
QByteArray nativeName(const QString &fileName) {
    const QString native = QDir::toNativeSeparators(fileName);
    return QByteArray(reinterpret_cast<const char *>(native.utf16()),
                      (native.size() + 1) * qsizetype(sizeof(char16_t)));
}

const wchar_t *wide(const QByteArray &name) {
    return reinterpret_cast<const wchar_t *>(name.constData());
}

// The file a link leads to, even when that file does not exist yet.
QString followLinks(const QString &fileName) {
    const QFileInfo file(fileName);
    return file.isSymbolicLink() ? file.symLinkTarget() : fileName;
}

// Short whatever the target's name, so any name the file system takes can be written over.
QString temporaryNameBeside(const QString &target) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    QString name = QFileInfo(target).absolutePath() + QStringLiteral("/.zariza-");
    for (int i = 0; i < 8; ++i)
        name += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return name;
}

// A file another program holds open without sharing its deletion cannot be replaced: found out
// before a byte is written (Wine's ReplaceFileW would also leave an rf*.tmp file behind).
bool isHeldOpenByAnother(const QByteArray &target) {
    const HANDLE probe =
        CreateFileW(wide(target), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (probe == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(probe);
    return false;
}

HANDLE handleOf(int descriptor) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

} // namespace

void AtomicFile::open() {
    refuseUnsuitableTarget();
    const QString target = m_links == LinkHandling::Follow ? followLinks(m_fileName) : m_fileName;
    m_target = nativeName(target);
    // Windows takes at most 255 characters in a name; Wine would cut a longer one short and write.
    if (QFileInfo(target).fileName().size() > 255)
        fail(ERROR_INVALID_NAME);
    // ReplaceFileW would replace a read-only file; it is kept, as on Linux.
    const DWORD attributes = GetFileAttributesW(wide(m_target));
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        fail(ERROR_ACCESS_DENIED);
    if (isHeldOpenByAnother(m_target))
        fail(ERROR_SHARING_VIOLATION);
    for (int attempt = 0; m_descriptor < 0; ++attempt) {
        m_temporary = nativeName(temporaryNameBeside(target));
        const HANDLE handle = CreateFileW(wide(m_temporary), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            m_temporary.clear();
            if (error != ERROR_FILE_EXISTS || attempt == 100)
                fail(int(error));
            continue;
        }
        m_descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        if (m_descriptor < 0) {
            CloseHandle(handle);
            DeleteFileW(wide(std::exchange(m_temporary, QByteArray())));
            fail(ERROR_TOO_MANY_OPEN_FILES);
        }
    }
}

void AtomicFile::write(QByteArrayView bytes) {
    for (qsizetype done = 0; done < bytes.size();) {
        const DWORD piece = DWORD(qMin<qsizetype>(bytes.size() - done, 1 << 30));
        DWORD written = 0;
        if (!WriteFile(handleOf(m_descriptor), bytes.data() + done, piece, &written, nullptr))
            fail(int(GetLastError()));
        if (written == 0)
            fail(ERROR_DISK_FULL);
        done += written;
    }
}

void AtomicFile::commit() {
    // On disk before it takes the target's place: a crash leaves the old bytes or all the new.
    if (!FlushFileBuffers(handleOf(m_descriptor)))
        fail(int(GetLastError()));
    _close(std::exchange(m_descriptor, -1));
    replaceTarget();
}

// ReplaceFileW gives the new file the old one's attributes, security descriptor and creation
// time; when it fails without a backup name, the old file keeps its name and bytes. A name with
// no file yet gets it by a rename, which never writes through a link planted there.
void AtomicFile::replaceTarget() {
    const bool replaced = GetFileAttributesW(wide(m_target)) != INVALID_FILE_ATTRIBUTES
                              ? ReplaceFileW(wide(m_target), wide(m_temporary), nullptr,
                                             REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                              : MoveFileExW(wide(m_temporary), wide(m_target),
                                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!replaced)
        fail(int(GetLastError()));
    m_temporary.clear();
}

void AtomicFile::cancel() noexcept {
    if (m_descriptor >= 0)
        _close(std::exchange(m_descriptor, -1));
    if (!m_temporary.isEmpty())
        DeleteFileW(wide(std::exchange(m_temporary, QByteArray())));
}

void AtomicFile::fail(int error) {
    cancel();
    // A name part over 255 characters is an "invalid name" to Windows.
    if (error == ERROR_INVALID_NAME && QFileInfo(m_fileName).fileName().size() > 255)
        throw RuntimeError(reasonForErrno(ENAMETOOLONG), m_fileName);
    throw RuntimeError(describeWindowsError(DWORD(error)), m_fileName);
}

} // namespace zariza
