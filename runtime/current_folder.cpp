#include "current_folder.h"

#include "folder_handle.h"
#include "runtime_services.h"

#include <QDir>

namespace zariza {

CurrentFolder::CurrentFolder() {
    enter(QDir::currentPath());
}

void CurrentFolder::enter(const QString &folder) {
    m_path = folder;
    m_handle = std::make_shared<const FolderHandle>(folder);
}

QString CurrentFolder::path() const {
    if (m_path.isEmpty() || !m_handle->isAt(m_path))
        throw RuntimeError(QStringLiteral("当前文件夹已被删除或无法访问"), m_path);
    return m_path;
}

} // namespace zariza
