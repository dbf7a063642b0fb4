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

// A file written beside its target under a short temporary name and put in the target's place by
// one rename once all of it is on disk, so the target holds either its old bytes or all the new
// ones. A folder, a device or a dangling link at the name is refused. A file written over keeps its
// mode and, where the user may set it, its group (on Windows its attributes and security); a new
// file gets 0666 less the umask. Every failure throws RuntimeError with a Chinese reason.
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
    void replaceTarget();

    QString m_fileName;
    LinkHandling m_links;
    QByteArray m_target;    // the name that is replaced, links followed or not
    QByteArray m_temporary; // empty once renamed or removed
    int m_descriptor = -1;  // on Windows a C runtime descriptor over the file's handle
};

} // namespace zariza
