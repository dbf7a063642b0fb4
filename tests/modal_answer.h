#pragma once

#include <functional>

class QWidget;

namespace zariza::testing {

// Once a modal dialog is up, hands it to `answer` (from the event loop, while the code under test
// waits inside the dialog).
void answerModalLater(std::function<void(QWidget *modal)> answer);

} // namespace zariza::testing
