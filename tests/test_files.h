#pragma once

#include <QByteArray>
#include <QString>

// AddressSanitizer ends the process when an allocation fails instead of throwing std::bad_alloc,
// so running out of memory cannot be tried under it.
#if defined(__SANITIZE_ADDRESS__)
#define ZARIZA_ALLOCATION_FAILURE_ENDS_PROCESS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZARIZA_ALLOCATION_FAILURE_ENDS_PROCESS 1
#endif
#endif

namespace zariza::testing {

QByteArray readBytes(const QString &path);
void writeBytes(const QString &path, const QByteArray &bytes);
// "3c 74 0d 0a" -> bytes; blanks are ignored.
QByteArray hexBytes(const char *hex);

} // namespace zariza::testing
