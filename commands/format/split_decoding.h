#pragma once

#include <QByteArrayView>
#include <QString>
#include <functional>

namespace zariza {

// Decodes a piece of bytes into `out`, at most one UTF-16 unit a byte; returns the end of what it
// wrote and clears *clean on a fault. It starts afresh after a line feed, as every decoder of the
// document's encodings does: a line feed never continues a character.
using DecodeInto = std::function<char16_t *(QByteArrayView bytes, char16_t *out, bool *clean)>;

// The text of `bytes`, and whether they read without a fault. A large text is decoded in two
// halves at once, split after a line feed near its middle, so that a second core halves the wait.
QString decodeInHalves(QByteArrayView bytes, const DecodeInto &decodeInto, bool *clean);

} // namespace zariza
