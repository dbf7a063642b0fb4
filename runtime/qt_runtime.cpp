#include "qt_runtime.h"

#include "file_icon_provider.h"
#include "read_file.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace zariza {

namespace {

QMessageBox::Icon iconForStyle(int style) {
    switch (style & 0x70) {
    case 16:
        return QMessageBox::Critical;
    case 32:
        return QMessageBox::Question;
    case 48:
        return QMessageBox::Warning;
    case 64:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

bool hasCancelButton(int style) {
    return (style & 0x7) == 1;
}

// Every QFileDialog, when destroyed, saves its history, last folder and columns through
// QSettings(UserScope, "QtProject") in the native format: ~/.config/QtProject.conf on Linux (and
// /.config/… without HOME). This program writes nothing but the files the user names, so the
// native format's folders move into the read-only resources, where QSettings finds nothing to read
// and cannot create a folder, a lock or a file. (On Windows and macOS the native format is the
// registry or the preferences, which setPath() does not move.)
void keepSettingsOffTheDisk() {
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
        QSettings::setPath(QSettings::NativeFormat, scope, QStringLiteral(":/no-settings"));
}

} // namespace

void QtFileDialog::showOpen() {
    show(false);
}

void QtFileDialog::showSave() {
    show(true);
}

void QtFileDialog::show(bool forSaving) {
    keepSettingsOffTheDisk();
    // Outlives the dialog, whose folder model asks it from another thread until it is destroyed.
    FileIconProvider icons;
    QFileDialog dialog(m_parent, dialogTitle());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.restoreState(m_state);
    dialog.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList nameFilters = nameFiltersFromFilter(filter());
    dialog.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dialog.selectNameFilter(nameFilters.first());
    if (fileName().isEmpty()) {
        dialog.setDirectory(QDir::currentPath());
    } else {
        const QFileInfo last(fileName());
        dialog.setDirectory(last.absolutePath());
        dialog.selectFile(last.fileName());
    }

    const bool accepted = dialog.exec() == QDialog::Accepted;
    m_state = dialog.saveState();
    if (!accepted || dialog.selectedFiles().isEmpty()) {
        // Cancel leaves no name, so a cancelled save never writes over the last file.
        setFileName({});
        return;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    setFileName(chosen);
    // Like the platform dialogs this program grew up with: the chosen folder becomes the current
    // one, so the preview page lands beside the document and its relative links resolve.
    QDir::setCurrent(QFileInfo(chosen).absolutePath());
}

QtRuntimeServices::QtRuntimeServices(QWidget *window) : m_window(window), m_dialog(window) {}

QByteArray QtRuntimeServices::readFile(const QString &fileName) {
    return readRegularFile(fileName);
}

std::unique_ptr<AtomicFile> QtRuntimeServices::createFile(const QString &fileName,
                                                          LinkHandling links) {
    return AtomicFile::create(fileName, links);
}

int QtRuntimeServices::msgBox(const QString &prompt, int style, const QString &title) {
    QMessageBox box(iconForStyle(style), title, prompt, QMessageBox::NoButton, m_window);
    QPushButton *ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton *cancel = hasCancelButton(style)
                              ? box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole)
                              : nullptr;
    box.setDefaultButton(ok);
    // Esc and the close box answer Cancel where there is one, OK otherwise.
    box.setEscapeButton(cancel ? cancel : ok);
    box.exec();
    return box.clickedButton() == ok ? MsgBoxAnswer::Ok : MsgBoxAnswer::Cancel;
}

void QtRuntimeServices::shell(const QString &filePath) {
    const QFileInfo file(filePath);
#ifdef Q_OS_WIN
    QProcess launcher;
    launcher.setProgram(QStringLiteral("cmd.exe"));
    launcher.setNativeArguments(QStringLiteral("/c ") + file.fileName());
    launcher.setWorkingDirectory(file.absolutePath());
    launcher.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments *arguments) { arguments->flags |= CREATE_NO_WINDOW; });
    if (!launcher.startDetached())
        throw RuntimeError(QStringLiteral("无法启动命令解释器 cmd.exe"));
#else
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath())))
        throw RuntimeError(QStringLiteral("无法启动默认浏览器"), file.absoluteFilePath());
#endif
}

void QtRuntimeServices::end() {
    QCoreApplication::exit(0);
}

} // namespace zariza
