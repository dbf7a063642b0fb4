#include "file_details_model.h"

#include <QDateTime>
#include <QFileSystemModel>
#include <QLocale>

namespace zariza {

namespace {

// The columns of QFileSystemModel.
constexpr int sizeColumn = 1;
constexpr int dateColumn = 3;

} // namespace

QVariant FileDetailsModel::data(const QModelIndex &index, int role) const {
    const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
    if (!files || role != Qt::DisplayRole ||
        (index.column() != sizeColumn && index.column() != dateColumn))
        return QIdentityProxyModel::data(index, role);
    const QModelIndex file = mapToSource(index);
    if (index.column() == dateColumn)
        return QLocale().toString(files->lastModified(file), QLocale::ShortFormat);
    // A folder's size says nothing; Qt leaves it empty too.
    return files->isDir(file) ? QString() : QLocale().formattedDataSize(files->size(file));
}

} // namespace zariza
