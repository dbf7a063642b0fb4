#include "process_signals.h"

namespace zariza {

// Windows has no file-size signal: a write past a quota fails with an error code.
void ignoreFileSizeSignal() {}

// What ends a program on Windows reaches the window through Qt: `taskkill` without /F posts
// WM_CLOSE (a close event, the close question), and WM_QUERYENDSESSION at log-off or shut-down
// becomes QGuiApplication::commitDataRequest, which asks the same question and may refuse.
void closeOnTerminationSignals(QWidget &) {}

} // namespace zariza
