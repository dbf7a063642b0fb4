#include "open_page.h"

#include "default_browser.h"
#include "runtime_error.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace zariza {

void openInBrowser(const QString &filePath) {
    const QString path = QFileInfo(filePath).absoluteFilePath();
    const QStringList browser = defaultBrowserCommand(path);
    if (browser.isEmpty()) {
        // Nothing registered for text/html: the desktop's own launcher may still know better.
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            throw RuntimeError(QStringLiteral("没有设置默认浏览器"), path);
        return;
    }
    if (!QProcess::startDetached(browser.first(), browser.mid(1)))
        throw RuntimeError(QStringLiteral("无法启动默认浏览器"), path);
}

} // namespace zariza
