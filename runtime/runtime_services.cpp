#include "runtime_services.h"

namespace zariza {

RuntimeError::RuntimeError(QString reason, QString fileName)
    : std::runtime_error(reason.toStdString()), m_reason(std::move(reason)),
      m_fileName(std::move(fileName)) {}

QString RuntimeError::describe() const {
    if (m_fileName.isEmpty())
        return m_reason;
    return m_fileName + QStringLiteral("：") + m_reason;
}

} // namespace zariza
