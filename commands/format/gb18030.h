#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <optional>

// GB18030, which includes GBK, read the way browsers read it and written as GBK wherever GBK has
// the character. Built-in tables rather than QStringConverter, whose GBK support depends on ICU.
namespace zariza {

// GBK, with € as A2 E3 as every GB18030 encoder writes it; characters GBK lacks get their GB18030
// four-byte code and an unpaired surrogate is written as U+FFFD. The 19 private-use characters that
// browsers read no code as (U+E5E5, U+E78D-U+E796 and eight from U+E81E) are written as the
// characters they stood for, which browsers show for their former codes: U+3000, U+FE10-U+FE19,
// U+9FB4-U+9FBB. Whatever decodeGb18030 reads cleanly reads back as the same text; the bytes are
// the same but for the few codes of a character that has another one (see decodeGb18030).
QByteArray encodeGbk(QStringView text);

// The same bytes appended to `bytes`, so that one buffer serves piece after piece.
void encodeGbkInto(QStringView text, QByteArray &bytes);

// Reads GB18030 (which includes GBK) the way browsers do. clean is set to false only when bytes
// had to become U+FFFD. A few codes read as a character that encodeGbk writes in another form:
// 80 as € (written A2 E3), A3 A0 as the ideographic space (A1 A1), and the old four-byte codes
// of U+FE10-U+FE19 and U+9FB4-U+9FBB (their two-byte codes).
QString decodeGb18030(QByteArrayView bytes, bool *clean);

// The text only if decodeGb18030 would read it cleanly; stops at the first byte that does not.
std::optional<QString> decodeGb18030Cleanly(QByteArrayView bytes);

} // namespace zariza
