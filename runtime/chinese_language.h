#pragma once

class QCoreApplication;

namespace zariza {

// The program speaks Chinese whatever the desktop's language, Qt's standard dialogs included.
void speakChinese(QCoreApplication &app);

} // namespace zariza
