#pragma once

#include <QString>

namespace zariza {

// A short Chinese reason for a failed file operation's errno; empty when there is none.
QString reasonForErrno(int error);

// The reason for errno, or "无法访问（<system text>）" when there is no short one.
QString describeErrno(int error);

} // namespace zariza
