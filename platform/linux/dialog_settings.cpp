#include "dialog_settings.h"

#include <QSettings>

namespace zariza {

// The native format's folders move into the read-only resources, where QSettings finds nothing
// to read and cannot create a folder, a lock or a file (and /.config/… without HOME).
DialogSettingsKeeper::DialogSettingsKeeper() {
    for (const QSettings::Scope scope : {QSettings::UserScope, QSettings::SystemScope})
        QSettings::setPath(QSettings::NativeFormat, scope, QStringLiteral(":/no-settings"));
}

DialogSettingsKeeper::~DialogSettingsKeeper() = default;

} // namespace zariza
