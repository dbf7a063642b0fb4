#pragma once

#include <QByteArray>
#include <QString>

namespace zariza {

// Larger files are refused rather than freezing the window.
inline constexpr qint64 maxReadBytes = qint64(64) << 20;

// The whole of a regular file. A FIFO, a device or a folder is refused without ever blocking, and
// so is a file over maxReadBytes, also one that grows past it while being read. Every failure
// throws RuntimeError with a Chinese reason.
QByteArray readRegularFile(const QString &fileName);

} // namespace zariza
