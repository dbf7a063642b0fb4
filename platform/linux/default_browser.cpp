#include "default_browser.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace zariza {

namespace {

const QString htmlType = QStringLiteral("text/html");

// The value of `key` in the group `group` of a desktop entry or a mimeapps.list, as written.
QString keyValue(const QString &path, const QString &group, const QString &key) {
    // Only plain files: reading a FIFO planted under one of these names would never end.
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    bool inGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inGroup = line == u'[' + group + u']';
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inGroup && equals > 0 && QStringView(line).left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return {};
}

// \s, \n, \t, \r and \\ in a desktop entry's string values.
QString unescaped(const QString &value) {
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] != u'\\' || i + 1 == value.size()) {
            text += value[i];
            continue;
        }
        const QChar code = value[++i];
        const qsizetype known = QStringView(u"sntr\\").indexOf(code);
        text += known < 0 ? QString{u'\\', code} : QString(QStringView(u" \n\t\r\\")[known]);
    }
    return text;
}

// The Exec value of a desktop entry by its id, looked up where the desktop keeps them
// ("vendor-app.desktop" may also be "vendor/app.desktop").
QString execOf(const QString &desktopId) {
    const QStringList folders =
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    QStringList names{desktopId};
    if (const qsizetype dash = desktopId.indexOf(u'-'); dash > 0)
        names << QString(desktopId).replace(dash, 1, u'/');
    for (const QString &name : names) {
        for (const QString &folder : folders) {
            const QString exec = keyValue(folder + u'/' + name, QStringLiteral("Desktop Entry"),
                                          QStringLiteral("Exec"));
            if (!exec.isEmpty())
                return unescaped(exec);
        }
    }
    return {};
}

// Where the desktop says which program opens which type, the most important first.
QList<std::pair<QString, QString>> associationFiles() {
    QStringList listNames;
    for (const QString &desktop :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
        listNames << desktop.toLower() + QStringLiteral("-mimeapps.list");
    listNames << QStringLiteral("mimeapps.list");
    const QString defaults = QStringLiteral("Default Applications");
    const QStringList applications =
        QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
    QList<std::pair<QString, QString>> files;
    for (const QStringList &folders :
         {QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation), applications}) {
        for (const QString &folder : folders) {
            for (const QString &name : listNames)
                files.append({folder + u'/' + name, defaults});
        }
    }
    for (const QString &folder : applications) {
        files.append({folder + QStringLiteral("/defaults.list"), defaults});
        files.append({folder + QStringLiteral("/mimeinfo.cache"), QStringLiteral("MIME Cache")});
    }
    return files;
}

} // namespace

QStringList defaultBrowserCommand(const QString &filePath) {
    for (const auto &[path, group] : associationFiles()) {
        const QString ids = keyValue(path, group, htmlType);
        // The first of the listed programs that is installed.
        for (const QString &id : ids.split(u';', Qt::SkipEmptyParts)) {
            QStringList command = commandForFile(execOf(id), filePath);
            if (!command.isEmpty())
                return command;
        }
    }
    return {};
}

QStringList commandForFile(const QString &exec, const QString &filePath) {
    QStringList words;
    QString word;
    bool inWord = false;
    bool quoted = false;
    bool fileGiven = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted) {
            if (c == u'"')
                quoted = false;
            else
                word += c == u'\\' && i + 1 < exec.size() ? exec[++i] : c;
        } else if (c == u' ' || c == u'\t') {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else if (c == u'%' && i + 1 < exec.size()) {
            const QChar code = exec[++i];
            if (code == u'%') {
                word += code;
                inWord = true;
            } else if (QStringView(u"fFuU").contains(code)) {
                word += filePath;
                inWord = fileGiven = true;
            }
        } else {
            quoted = c == u'"';
            if (!quoted)
                word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    if (!words.isEmpty() && !fileGiven)
        words << filePath;
    return words;
}

} // namespace zariza
