#include "atomic_file.h"

#include "runtime_error.h"

#include <QFileInfo>
#include <utility>

namespace zariza {

AtomicFile::AtomicFile(QString fileName, LinkHandling links)
    : m_fileName(std::move(fileName)), m_links(links) {}

AtomicFile::~AtomicFile() {
    cancel();
}

std::unique_ptr<AtomicFile> AtomicFile::create(QString fileName, LinkHandling links) {
    auto file = std::make_unique<AtomicFile>(std::move(fileName), links);
    file->open();
    return file;
}

// A name anyone could plant something at is written only where a plain file or nothing is; a
// name the user chose is written through a link, but never onto a folder or a device.
void AtomicFile::refuseUnsuitableTarget() const {
    const QFileInfo name(m_fileName);
    if (m_links == LinkHandling::Replace) {
        if (name.isSymLink() || (name.exists() && !name.isFile()))
            throw RuntimeError(
                QStringLiteral("这不是普通文件（可能是链接、文件夹或设备），没有写入"), m_fileName);
        return;
    }
    if (name.isSymLink() && !name.exists())
        throw RuntimeError(QStringLiteral("链接指向的文件不存在"), m_fileName);
    if (name.isDir())
        throw RuntimeError(QStringLiteral("这是一个文件夹，不是文件"), m_fileName);
    if (name.exists() && !name.isFile())
        throw RuntimeError(QStringLiteral("这不是普通文件"), m_fileName);
}

} // namespace zariza
