#pragma once

#include <QFileIconProvider>
#include <QMimeDatabase>

namespace zariza {

// Icons and the type column of the file dialog, told from the file name alone. Qt's own provider
// reads a file's first bytes to name its type, and reading some files never ends (/proc/kmsg
// waits for the next kernel message), which froze the dialog.
class FileIconProvider : public QFileIconProvider {
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override;
    QString type(const QFileInfo &info) const override;

private:
    QMimeDatabase m_mimeTypes;
};

} // namespace zariza
