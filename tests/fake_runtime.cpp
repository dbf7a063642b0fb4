#include "fake_runtime.h"

#include <QTest>
#include <stdexcept>

namespace zariza::testing {

void ScriptedFileDialog::show(const QString &kind) {
    shown.append({kind, dialogTitle(), filter()});
    if (names.empty())
        throw std::logic_error("file dialog shown without a scripted name");
    setFileName(names.front());
    names.pop_front();
}

int FakeRuntime::msgBox(const QString &prompt, int style, const QString &title) {
    boxes.append({prompt, style, title});
    if (style != MsgBoxStyle::OkCancelQuestion)
        return MsgBoxAnswer::Ok;
    if (answers.empty())
        throw std::logic_error("question asked without a scripted answer: " + prompt.toStdString());
    const int answer = answers.front();
    answers.pop_front();
    return answer;
}

char *toString(const FakeRuntime::MsgBox &box) {
    return QTest::toString(
        QStringLiteral("%1 [style %2] %3").arg(box.prompt).arg(box.style).arg(box.title));
}

void FakeRuntime::shell(const QString &filePath) {
    launched.append(filePath);
    if (launchFails)
        throw RuntimeError(QStringLiteral("无法启动默认浏览器"), filePath);
}

} // namespace zariza::testing
