#include "open_page.h"

#include "runtime_error.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <windows.h>

namespace zariza {

namespace {

// The system's own cmd.exe: a program of that name in the current folder (where the page and
// whatever came with it lie) must never be the one started.
QString systemCommandInterpreter() {
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        throw RuntimeError(QStringLiteral("无法启动命令解释器 cmd.exe"));
    return QString::fromWCharArray(folder, int(length)) + QStringLiteral("\\cmd.exe");
}

} // namespace

// `cmd /c start "" Cs.htm` opens the page by its file type's association, as a double-click
// does, on Windows and under Wine alike; a bare `cmd /c Cs.htm` works on Windows only. The empty
// title keeps start from taking a quoted name for the window's title.
void openInBrowser(const QString &filePath) {
    const QFileInfo file(filePath);
    QProcess launcher;
    launcher.setProgram(systemCommandInterpreter());
    launcher.setNativeArguments(QStringLiteral("/c start \"\" \"%1\"").arg(file.fileName()));
    launcher.setWorkingDirectory(QDir::toNativeSeparators(file.absolutePath()));
    launcher.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments *arguments) { arguments->flags |= CREATE_NO_WINDOW; });
    if (!launcher.startDetached())
        throw RuntimeError(QStringLiteral("无法启动命令解释器 cmd.exe"));
}

} // namespace zariza
