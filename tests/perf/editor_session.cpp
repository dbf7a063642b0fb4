#include "editor_session.h"

#include "floors.h"

#include <stdexcept>

namespace zariza::perf {

EditorSession::EditorSession() : m_text1(setUpLikeText1(m_edit)), m_commands(m_runtime, m_text1) {}

void EditorSession::open(const QString &path) {
    m_runtime.answers = {Answer::Ok};
    m_runtime.dialog.names = {path};
    m_commands.Command1_Click();
    expectOnlyBox(QStringLiteral("将清除原有代码确认打开？"));
}

void EditorSession::save(const QString &path) {
    m_runtime.dialog.names = {path};
    m_commands.Command3_Click();
    expectOnlyBox(QStringLiteral("文件保存完成！"));
}

void EditorSession::preview() {
    m_commands.Command4_Click();
    if (!m_runtime.boxes.isEmpty() || m_runtime.launched.size() != 1)
        throw std::runtime_error("preview did not launch");
    m_runtime.launched.clear();
}

void EditorSession::expectOnlyBox(const QString &prompt) {
    const auto boxes = std::exchange(m_runtime.boxes, {});
    if (boxes.size() != 1 || boxes.front().prompt != prompt)
        throw std::runtime_error(
            "unexpected message: " +
            (boxes.isEmpty() ? std::string("none") : boxes.back().prompt.toStdString()));
}

} // namespace zariza::perf
