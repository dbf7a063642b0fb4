#pragma once

#include <QVariantMap>

namespace zariza {

// Every QFileDialog, when destroyed, saves its history, last folder and columns through
// QSettings(UserScope, "QtProject") in the native format, whatever the default format is: a file
// under ~/.config on Linux, the registry on Windows. This program keeps nothing but the files the
// user names; while one of these lives, whatever a dialog saves is not kept. Create it before the
// dialog, so it ends after it.
class DialogSettingsKeeper {
public:
    DialogSettingsKeeper();
    ~DialogSettingsKeeper();
    DialogSettingsKeeper(const DialogSettingsKeeper &) = delete;
    DialogSettingsKeeper &operator=(const DialogSettingsKeeper &) = delete;

private:
    // What other Qt programs had saved there before, put back afterwards (Windows).
    [[maybe_unused]] bool m_hadSettings = false;
    [[maybe_unused]] QVariantMap m_saved;
};

} // namespace zariza
