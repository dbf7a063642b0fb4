// How the window meets the keyboard and screen readers, beyond what form1.ui says.
#pragma once

class QWidget;

namespace zariza {

// Enter (and the keypad's Enter) presses the focused button of `form`, as Space does. No button
// becomes the default, so Enter in the text box still starts a new line.
void pressButtonsWithEnter(QWidget *form);

// Screen readers meet the program's window as a window, without the lines of its border.
void describeWindowToScreenReaders();

} // namespace zariza
