#include "fake_runtime.h"

#include <QTest>
#include <stdexcept>

namespace zariza::testing {

std::optional<QString> ScriptedFileDialog::show(const QString &kind, const QString &title,
                                                const FileFilters &filters) {
    QStringList filter;
    for (const FileFilter &entry : filters)
        filter << entry.description << entry.patterns.join(u';');
    shown.append({kind, title, filter.join(u'|')});
    if (names.empty())
        throw std::logic_error("file dialog shown without a scripted name");
    const QString name = names.front();
    names.pop_front();
    return name.isEmpty() ? std::nullopt : std::optional(name);
}

Answer FakeRuntime::msgBox(const QString &prompt, BoxKind kind, const QString &title) {
    boxes.append({prompt, kind, title});
    if (kind != BoxKind::Question)
        return Answer::Ok;
    if (answers.empty())
        throw std::logic_error("question asked without a scripted answer: " + prompt.toStdString());
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
}

char *toString(const FakeRuntime::MsgBox &box) {
    return QTest::toString(
        QStringLiteral("%1 [style %2] %3").arg(box.prompt).arg(int(box.kind)).arg(box.title));
}

void FakeRuntime::shell(const QString &filePath) {
    launched.append(filePath);
    if (launchFails)
        throw RuntimeError(QStringLiteral("无法启动默认浏览器"), filePath);
}

} // namespace zariza::testing
