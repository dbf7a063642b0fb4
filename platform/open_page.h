#pragma once

#include <QString>

namespace zariza {

// Shows an HTML file in the system's default browser without waiting for it and without a console
// window. Throws RuntimeError when no browser can be started.
void openInBrowser(const QString &filePath);

} // namespace zariza
