#pragma once

#include <QString>

class QFileDevice;

namespace zariza {

// A short Chinese reason for a failed file operation's errno; empty when there is none.
QString reasonForErrno(int error);

// The reason for errno, or "无法访问（<system text>）" when there is no short one.
QString describeErrno(int error);

// A Chinese reason for a failed open or read of `file`; `savedErrno` is errno read right after the
// failing call.
QString reasonForFileError(const QFileDevice &file, int savedErrno);

} // namespace zariza
