#pragma once

#include <QString>

namespace zariza {

// The Chinese reason for a Windows error code (GetLastError()) of a failed file operation, in
// the words the errno reasons use; otherwise "无法访问（<the system's own text>）".
QString describeWindowsError(unsigned long error);

} // namespace zariza
