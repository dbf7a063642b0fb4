#include "file_icon_provider.h"

#include <QFileInfo>
#include <QIcon>

namespace zariza {

QIcon FileIconProvider::icon(const QFileInfo &info) const {
    if (info.isDir())
        return icon(Folder);
    // By name only: mimeTypeForFile() would open the file to look at its contents.
    const QList<QMimeType> byName = m_mimeTypes.mimeTypesForFileName(info.fileName());
    if (byName.isEmpty())
        return icon(File);
    const QMimeType &mimeType = byName.constFirst();
    return QIcon::fromTheme(mimeType.iconName(),
                            QIcon::fromTheme(mimeType.genericIconName(), icon(File)));
}

QString FileIconProvider::type(const QFileInfo &info) const {
    if (info.isDir())
        return QStringLiteral("文件夹");
    const QString suffix = info.suffix();
    const QString lower = suffix.toLower();
    if (lower == u"htm" || lower == u"html")
        return QStringLiteral("HTML 文档");
    if (lower == u"devov")
        return QStringLiteral("Devov 文档");
    if (lower == u"txt")
        return QStringLiteral("文本文档");
    if (suffix.isEmpty())
        return QStringLiteral("文件");
    return suffix.toUpper() + QStringLiteral(" 文件");
}

} // namespace zariza
