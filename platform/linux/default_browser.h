#pragma once

#include <QString>
#include <QStringList>

namespace zariza {

// The command that opens an HTML file in the desktop's default browser, chosen by the file type
// text/html as a double-click in the file manager chooses: from the mimeapps.list files and the
// desktop's caches, in the order the desktop reads them. xdg-open outside GNOME and KDE sniffs
// the content instead and gives a page fragment such as <p>你好</p> to a text editor.
// Empty when no browser is registered or its desktop entry has no command.
QStringList defaultBrowserCommand(const QString &filePath);

// The command line of a desktop entry's Exec value for one file: the file takes the place of %f,
// %F, %u or %U (or comes last when there is none of them); other field codes are dropped.
QStringList commandForFile(const QString &exec, const QString &filePath);

} // namespace zariza
