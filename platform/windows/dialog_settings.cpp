#include "dialog_settings.h"

#include <QSettings>
#include <windows.h>

namespace zariza {

namespace {

// HKEY_CURRENT_USER\Software\QtProject, shared by every Qt program of the user.
const wchar_t qtProjectKey[] = L"Software\\QtProject";
const QString group = QStringLiteral("FileDialog");

bool qtProjectKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, qtProjectKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

} // namespace

// The registry cannot be moved aside as a folder can: what other Qt programs kept there is read
// before the dialog and put back after it, and a key this program made is removed.
DialogSettingsKeeper::DialogSettingsKeeper() : m_hadSettings(qtProjectKeyExists()) {
    if (!m_hadSettings)
        return;
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.beginGroup(group);
    for (const QString &key : settings.allKeys())
        m_saved.insert(key, settings.value(key));
}

DialogSettingsKeeper::~DialogSettingsKeeper() {
    if (!m_hadSettings) {
        RegDeleteTreeW(HKEY_CURRENT_USER, qtProjectKey);
        RegDeleteKeyW(HKEY_CURRENT_USER, qtProjectKey);
        return;
    }
    QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
    settings.remove(group);
    settings.beginGroup(group);
    for (auto value = m_saved.cbegin(); value != m_saved.cend(); ++value)
        settings.setValue(value.key(), value.value());
}

} // namespace zariza
