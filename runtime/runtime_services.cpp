#include "runtime_services.h"

namespace zariza {

void runEventProcedure(RuntimeServices &runtime, const std::function<void()> &procedure) {
    try {
        procedure();
    } catch (const RuntimeError &error) {
        runtime.msgBox(QStringLiteral("运行时错误：\n") + error.describe(), MsgBoxStyle::Critical,
                       QStringLiteral("Zariza编辑器"));
    } catch (const std::exception &error) {
        runtime.msgBox(QStringLiteral("运行时错误：\n") + QString::fromLocal8Bit(error.what()),
                       MsgBoxStyle::Critical, QStringLiteral("Zariza编辑器"));
    }
}

} // namespace zariza
