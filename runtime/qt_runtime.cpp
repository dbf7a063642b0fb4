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

// The type column as wide as its words: Qt sizes it for "mp3Folder" and cuts "Devov 文档" short.
void fitTypeColumn(QFileDialog &dialog) {
    constexpr int typeColumn = 2;
    if (auto *details = dialog.findChild<QTreeView *>(QStringLiteral("treeView")))
        details->header()->setSectionResizeMode(typeColumn, QHeaderView::ResizeToContents);
}

// The patterns of each filter: {"*.htm"}, {"*.html"} from "(*.htm)|*.htm|(*.html)|*.html".
QList<QStringList> patternsOfFilters(const QString &filter) {
    const QStringList items = filter.split(u'|');
    QList<QStringList> patterns;
    for (qsizetype i = 1; i < items.size(); i += 2)
        patterns.append(items[i].split(u';', Qt::SkipEmptyParts));
    return patterns;
}

// A save dialog starts at the last name only with an extension that its filter offers, so that
// one Enter in 生成 cannot write the page over the document it came from: 旧文档.Devov is offered
// as 旧文档.htm. A name that one of the filters offers picks that filter.
void offerLastName(QFileDialog &dialog, const QString &filter, const QString &lastName) {
    const QList<QStringList> patterns = patternsOfFilters(filter);
    const QStringList nameFilters = dialog.nameFilters();
    for (qsizetype i = 0; i < patterns.size() && i < nameFilters.size(); ++i) {
        if (QDir::match(patterns[i], lastName)) {
            dialog.selectNameFilter(nameFilters[i]);
            dialog.selectFile(lastName);
            return;
        }
    }
    const QString extension =
        patterns.isEmpty() ? QString() : QFileInfo(patterns.first().value(0)).suffix();
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

void QtFileDialog::showOpen() {
    show(false);
}

void QtFileDialog::showSave() {
    show(true);
}

void QtFileDialog::show(bool forSaving) {
    const DialogSettingsKeeper keepNoSettings;
    // Outlives the dialog, whose folder model asks it from another thread until it is destroyed.
    FileIconProvider icons;
    QFileDialog dialog(m_parent, dialogTitle());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setProxyModel(new FileDetailsModel(&dialog));
    dialog.restoreState(m_state);
    fitTypeColumn(dialog);
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
        if (forSaving)
            offerLastName(dialog, filter(), last.fileName());
        else
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
    makeRoomForTitle(box);
    box.exec();
    return box.clickedButton() == ok ? MsgBoxAnswer::Ok : MsgBoxAnswer::Cancel;
}

void QtRuntimeServices::shell(const QString &filePath) {
    openInBrowser(filePath);
}

void QtRuntimeServices::end() {
    QCoreApplication::exit(0);
}

} // namespace zariza
