#pragma once

#include <QIdentityProxyModel>

namespace zariza {

// The file dialog's list with sizes and dates in the program's own language. Qt's file model
// writes them in the desktop's ("42 bytes", "5 Mar 2024") whatever the program speaks.
class FileDetailsModel : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex &index, int role) const override;
};

} // namespace zariza
