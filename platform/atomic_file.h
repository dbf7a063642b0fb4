#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>

namespace zariza {

// What a symbolic link at the target's name means for a write.
enum class LinkHandling {
    // The user chose the name: the file the link leads to is written, and the link stays.
    Follow,
    // A name anyone could plant a link at: the name itself gets the new file, and whatever a link
    // there led to is never written.
    Replace,
};

// A file written beside its target and put in the target's place by one rename once all of it is
// on disk, so the target holds either its old bytes or all the new ones. Until then it has no name
// (or, where the file system cannot do that, a short temporary one that only this user can open).
// A folder, a device or a dangling link at the name is refused. A file written over keeps its
// owner and group where the user may set them, its mode with setgid and sticky bits, its ACL and
// user.* attributes (on Windows its attributes and security); a new file gets 0666 less the umask.
// Where no file can be made beside a file the user chose (a read-only folder, a file mounted
// alone), that file is written in place on Linux, its old bytes kept in a private copy until the
// new ones are on disk and put back on failure. Every failure throws RuntimeError with a Chinese
// reason.
class AtomicFile {
public:
    AtomicFile(QString fileName, LinkHandling links);
    // A file already opened.
    static std::unique_ptr<AtomicFile> create(QString fileName, LinkHandling links);
    // Removes the temporary file when commit() was not reached.
    ~AtomicFile();
    AtomicFile(const AtomicFile &) = delete;
    AtomicFile &operator=(const AtomicFile &) = delete;

    void open();
    void write(QByteArrayView bytes);
    void commit();
    // Drops what was written; never throws.
    void cancel() noexcept;

private:
    void refuseUnsuitableTarget() const;
    // Drops the temporary file and throws the Chinese reason for the system's error code
    // (errno on Linux, GetLastError() on Windows).
    [[noreturn]] void fail(int error);
    // Linux only: the unnamed file beside the target, and writing in place.
    int createBeside(const QByteArray &folder, bool replacing);
    void openInPlace();
    void linkIn(const QByteArray &folder);
    void replaceTarget();
    bool putBackInPlace() noexcept;

    QString m_fileName;
    LinkHandling m_links;
    QByteArray m_target;    // the name that is replaced, links followed or not
    QByteArray m_temporary; // empty while unnamed, and once renamed or removed
    int m_descriptor = -1;  // on Windows a C runtime descriptor over the file's handle
    // Written in place: the private copy of the old bytes, until the new ones are on disk.
    bool m_inPlace = false;
    QByteArray m_oldCopy;
    int m_oldCopyDescriptor = -1;
};

} // namespace zariza
