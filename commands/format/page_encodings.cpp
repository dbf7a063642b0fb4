#include "page_encodings.h"

#include "page_converters.h"

namespace zariza {
namespace {

constexpr char16_t kReplacementCharacter = 0xFFFD;

struct Converter {
    const char *encoding;  // as browsers name it
    const char *converter; // the platform's converter that reads it most like browsers do
    // Browsers read no code of it as a private-use character (or, for the multi-byte ones, as a
    // C1 control); ICU reads the user-defined areas and lone high bytes as such.
    bool privateUseIsError;
    bool controlIsError;
};

// Browsers read big5 with the Hong Kong additions, shift_jis as Windows does and euc-kr with
// the Windows extension; ICU's plain Big5, Shift_JIS and EUC-KR would read thousands of codes
// differently.
constexpr Converter kConverters[] = {
    {"Big5", "Big5-HKSCS", true, true},          {"Shift_JIS", "windows-31j", false, false},
    {"EUC-KR", "windows-949", true, true},       {"EUC-JP", "EUC-JP", true, true},
    {"windows-874", "windows-874", true, false}, {"ISO-8859-8-I", "ISO-8859-8", false, false},
};

bool isReadAsNothing(QChar c, const Converter &converter) {
    return (converter.privateUseIsError && c.unicode() >= 0xE000 && c.unicode() <= 0xF8FF) ||
           (converter.controlIsError && c.unicode() >= 0x80 && c.unicode() <= 0x9F);
}

const Converter *knownDifferences(QByteArrayView encodingName) {
    for (const Converter &converter : kConverters) {
        if (encodingName == converter.encoding || encodingName == converter.converter)
            return &converter;
    }
    return nullptr;
}

// A code point the encoding lacks, as browsers write it in a form.
QByteArray characterReference(QStringView character) {
    const char32_t codePoint =
        character.size() == 2 ? QChar::surrogateToUcs4(character[0], character[1])
                              : (character[0].isSurrogate() ? kReplacementCharacter
                                                            : char32_t(character[0].unicode()));
    return "&#" + QByteArray::number(uint(codePoint)) + ';';
}

} // namespace

std::optional<QByteArray> converterForEncoding(QByteArrayView encodingName) {
    const Converter *known = knownDifferences(encodingName);
    const QByteArray name = known ? QByteArray(known->converter) : encodingName.toByteArray();
    if (!hasPageConverter(name))
        return std::nullopt;
    return name;
}

QString decodeWithConverter(QByteArrayView bytes, QByteArrayView converter, bool *clean) {
    QString text = decodeWithPageConverter(bytes, converter, clean);
    if (const Converter *known = knownDifferences(converter)) {
        for (QChar &c : text) {
            if (isReadAsNothing(c, *known)) {
                c = QChar(kReplacementCharacter);
                *clean = false;
            }
        }
    }
    return text;
}

// Converters say only that something in a text failed, so a failing text is halved until the
// characters that fail stand alone.
void encodeWithConverterInto(QStringView text, QByteArrayView converter, QByteArray &bytes) {
    if (text.isEmpty())
        return;
    if (const std::optional<QByteArray> encoded = encodeWithPageConverter(text, converter)) {
        bytes += *encoded;
        return;
    }
    const bool oneCharacter = text.size() == 1 || (text.size() == 2 && text[0].isHighSurrogate() &&
                                                   text[1].isLowSurrogate());
    if (oneCharacter) {
        bytes += characterReference(text);
        return;
    }
    qsizetype half = text.size() / 2;
    if (text[half].isLowSurrogate() && text[half - 1].isHighSurrogate())
        ++half;
    encodeWithConverterInto(text.first(half), converter, bytes);
    encodeWithConverterInto(text.sliced(half), converter, bytes);
}

} // namespace zariza
