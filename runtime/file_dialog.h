#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace zariza {

// One entry of the dialog's list of file types: the words shown and the patterns they stand for.
struct FileFilter {
    QString description;
    QStringList patterns;
};
using FileFilters = QList<FileFilter>;

// The open/save file-name dialog. Each showing is modal and gives the chosen path, or nothing
// when the user cancels.
class FileDialog {
public:
    virtual ~FileDialog() = default;

    virtual std::optional<QString> showOpen(const QString &title, const FileFilters &filters) = 0;
    virtual std::optional<QString> showSave(const QString &title, const FileFilters &filters) = 0;
};

// Name filters such as "(*.htm) (*.htm)" that a QFileDialog understands, in the same order.
QStringList nameFiltersOf(const FileFilters &filters);

} // namespace zariza
