#include "open_page.h"

#include "runtime_error.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <gio/gio.h>

namespace zariza {

// The browser is chosen by the type text/html as a double-click in the file manager chooses, from
// the desktop's mimeapps.list files and desktop entries. xdg-open outside GNOME and KDE sniffs
// the content instead and gives a page fragment such as <p>你好</p> to a text editor.
void openInBrowser(const QString &filePath) {
    const QString path = QFileInfo(filePath).absoluteFilePath();
    g_autoptr(GAppInfo) browser = g_app_info_get_default_for_type("text/html", FALSE);
    if (browser == nullptr) {
        // Nothing registered for text/html: the desktop's own launcher may still know better.
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            throw RuntimeError(QStringLiteral("没有设置默认浏览器"), path);
        return;
    }
    g_autoptr(GFile) page = g_file_new_for_path(QFile::encodeName(path).constData());
    GList pages{page, nullptr, nullptr};
    if (!g_app_info_launch(browser, &pages, nullptr, nullptr))
        throw RuntimeError(QStringLiteral("无法启动默认浏览器"), path);
}

} // namespace zariza
