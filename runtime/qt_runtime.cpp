#include "qt_runtime.h"

#include "dialog_settings.h"
#include "file_details_model.h"
#include "file_icon_provider.h"
#include "open_page.h"
#include "read_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>
#include <QTreeView>

namespace zariza {

namespace {

QMessageBox::Icon iconFor(BoxKind kind) {
    switch (kind) {
    case BoxKind::Failure:
        return QMessageBox::Critical;
    case BoxKind::Question:
        return QMessageBox::Question;
    case BoxKind::Notice:
        break;
    }
    return QMessageBox::NoIcon;
}

// The type column as wide as its words: Qt sizes it for "mp3Folder" and cuts "Devov 文档" short.
void fitTypeColumn(QFileDialog &dialog) {
    constexpr int typeColumn = 2;
    if (auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView")))
        details->header()->setSectionResizeMode(typeColumn, QHeaderView::ResizeToContents);
}

// A save dialog starts at the last name only with an extension that its filter offers, so that
// one Enter in 生成 cannot write the page over the document it came from: 旧文档.Devov is offered
// as 旧文档.htm. A name that one of the filters offers picks that filter.
void offerLastName(QFileDialog &dialog, const FileFilters &filters, const QString &lastName) {
    const QStringList nameFilters = nameFiltersOf(filters);
    for (qsizetype i = 0; i < filters.size(); ++i) {
        if (QDir::match(filters[i].patterns, lastName)) {
            dialog.selectNameFilter(nameFilters[i]);
            dialog.selectFile(lastName);
            return;
        }
    }
    const QString extension =
        filters.isEmpty() ? QString() : QFileInfo(filters.first().patterns.value(0)).suffix();
    if (extension.isEmpty() || extension.contains(u'*'))
        dialog.selectFile(lastName);
    else
        dialog.selectFile(QFileInfo(lastName).completeBaseName() + u'.' + extension);
}

// The window manager writes the title beside the window's icon and three buttons; a box sized
// for its text alone cut "未知原因" to "未…".
void makeRoomForTitle(QMessageBox &box) {
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid)
        return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int frameButtons = 4 * box.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &box);
    const int width = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + frameButtons;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Fixed),
                  grid->rowCount(), 0, 1, grid->columnCount());
}

} // namespace

std::optional<QString> QtFileDialog::showOpen(const QString &title, const FileFilters &filters) {
    return show(title, filters, false);
}

std::optional<QString> QtFileDialog::showSave(const QString &title, const FileFilters &filters) {
    return show(title, filters, true);
}

std::optional<QString> QtFileDialog::show(const QString &title, const FileFilters &filters,
                                          bool forSaving) {
    const DialogSettingsKeeper keepNoSettings;
    // Outlives the dialog, whose folder model asks it from another thread until it is destroyed.
    FileIconProvider icons;
    QFileDialog dialog(m_parent, title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setProxyModel(new FileDetailsModel(&dialog));
    dialog.restoreState(m_state);
    fitTypeColumn(dialog);
    dialog.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList nameFilters = nameFiltersOf(filters);
    dialog.setNameFilters(nameFilters);
    if (!nameFilters.isEmpty())
        dialog.selectNameFilter(nameFilters.first());
    if (m_lastName.isEmpty()) {
        dialog.setDirectory(m_folder.entered());
    } else {
        const QFileInfo last(m_lastName);
        dialog.setDirectory(last.absolutePath());
        if (forSaving)
            offerLastName(dialog, filters, last.fileName());
        else
            dialog.selectFile(last.fileName());
    }

    const bool accepted = dialog.exec() == QDialog::Accepted;
    m_state = dialog.saveState();
    m_lastName = accepted ? dialog.selectedFiles().value(0) : QString();
    if (m_lastName.isEmpty())
        return std::nullopt;
    // Like the platform dialogs this program grew up with: the chosen folder becomes the current
    // one, so the preview page lands beside the document and its relative links resolve.
    m_folder.enter(QFileInfo(m_lastName).absolutePath());
    return m_lastName;
}

QtRuntimeServices::QtRuntimeServices(QWidget *window) : m_window(window), m_dialog(window) {}

QString QtRuntimeServices::currentFolder() const {
    return m_dialog.currentFolder().path();
}

QByteArray QtRuntimeServices::readFile(const QString &fileName) {
    return readRegularFile(fileName);
}

std::unique_ptr<AtomicFile> QtRuntimeServices::createFile(const QString &fileName,
                                                          LinkHandling links) {
    return AtomicFile::create(fileName, links);
}

Answer QtRuntimeServices::msgBox(const QString &prompt, BoxKind kind, const QString &title) {
    QMessageBox box(iconFor(kind), title, prompt, QMessageBox::NoButton, m_window);
    QPushButton *ok = box.addButton(QStringLiteral("确定"), QMessageBox::AcceptRole);
    QPushButton *cancel = kind == BoxKind::Question
                              ? box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole)
                              : nullptr;
    box.setDefaultButton(ok);
    // Esc and the close box answer Cancel where there is one, OK otherwise.
    box.setEscapeButton(cancel ? cancel : ok);
    makeRoomForTitle(box);
    box.exec();
    return box.clickedButton() == ok ? Answer::Ok : Answer::Cancel;
}

void QtRuntimeServices::shell(const QString &filePath) {
    openInBrowser(filePath);
}

void QtRuntimeServices::end() {
    QCoreApplication::exit(0);
}

} // namespace zariza
