#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// GB18030, which includes GBK, read the way browsers read it and written as GBK wherever GBK has
// the character. Built-in tables rather than QStringConverter, whose GBK support depends on ICU.
namespace zariza {

// GBK with € as the single byte 80; characters GBK lacks get their GB18030 four-byte code and an
// unpaired surrogate is written as U+FFFD. The 19 private-use characters that browsers read no
// code as (U+E5E5, U+E78D-U+E796 and eight from U+E81E) are written as the characters they
// stood for, which browsers show for their former codes: U+3000, U+FE10-U+FE19, U+9FB4-U+9FBB.
// Whatever decodeGb18030 reads cleanly comes back byte-identical.
QByteArray encodeGbk(QStringView text);

// The same bytes appended to `bytes`, so that one buffer serves piece after piece.
void encodeGbkInto(QStringView text, QByteArray &bytes);

// Reads GB18030 (which includes GBK) the way browsers do. clean is set to false when bytes had to
// become U+FFFD, and also when a code reads as a character that encodeGbk writes differently
// (A2 E3 reads as € but € is written as 80, A3 A0 as the ideographic space written A1 A1; the
// old four-byte code of a character that now has a two-byte one), so that a clean decode always
// writes back unchanged.
QString decodeGb18030(QByteArrayView bytes, bool *clean);

// The text only if decodeGb18030 would read it cleanly; stops at the first byte that does not.
std::optional<QString> decodeGb18030Cleanly(QByteArrayView bytes);

} // namespace zariza
