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

void runEventProcedure(RuntimeServices &runtime, const std::function<void()> &procedure) {
    try {
        procedure();
    } catch (const RuntimeError &error) {
        runtime.msgBox(QStringLiteral("运行时错误：\n") + error.describe(), BoxKind::Failure,
                       QStringLiteral("Zariza编辑器"));
    } catch (const std::exception &error) {
        runtime.msgBox(QStringLiteral("运行时错误：\n") + QString::fromLocal8Bit(error.what()),
                       BoxKind::Failure, QStringLiteral("Zariza编辑器"));
    }
}

} // namespace zariza
