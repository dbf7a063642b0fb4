#include "page_converters.h"

#include <windows.h>

namespace zariza {
namespace {

struct CodePage {
    const char *name;
    UINT codePage;
};

// The system's code page for each converter name the format asks for. ISO-2022-JP, ISO-8859-10,
// -14 and -16 have none that converts strictly, so pages declaring them bring the question.
constexpr CodePage kCodePages[] = {
    {"Big5-HKSCS", 950},    {"windows-31j", 932},   {"windows-949", 949},
    {"EUC-JP", 20932},      {"IBM866", 866},        {"ISO-8859-2", 28592},
    {"ISO-8859-3", 28593},  {"ISO-8859-4", 28594},  {"ISO-8859-5", 28595},
    {"ISO-8859-6", 28596},  {"ISO-8859-7", 28597},  {"ISO-8859-8", 28598},
    {"ISO-8859-13", 28603}, {"ISO-8859-15", 28605}, {"KOI8-R", 20866},
    {"KOI8-U", 21866},      {"macintosh", 10000},   {"x-mac-cyrillic", 10007},
    {"windows-874", 874},   {"windows-1250", 1250}, {"windows-1251", 1251},
    {"windows-1252", 1252}, {"windows-1253", 1253}, {"windows-1254", 1254},
    {"windows-1255", 1255}, {"windows-1256", 1256}, {"windows-1257", 1257},
    {"windows-1258", 1258},
};

UINT codePageOf(QByteArrayView name) {
    for (const CodePage &entry : kCodePages) {
        if (name.compare(entry.name, Qt::CaseInsensitive) == 0)
            return IsValidCodePage(entry.codePage) ? entry.codePage : 0;
    }
    return 0;
}

std::optional<QString> decodeStrictly(QByteArrayView bytes, UINT codePage) {
    const int size = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(),
                                         int(bytes.size()), nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    QString text(size, Qt::Uninitialized);
    MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()),
                        reinterpret_cast<wchar_t *>(text.data()), size);
    return text;
}

// The system says only that a text failed: read it again a character at a time. A lead byte
// whose partner is ASCII stands alone, so that the ASCII byte is read as itself, as browsers do.
QString decodeCharacterByCharacter(QByteArrayView bytes, UINT codePage) {
    QString text;
    for (qsizetype at = 0; at < bytes.size();) {
        const bool pair = IsDBCSLeadByteEx(codePage, BYTE(bytes[at])) && at + 1 < bytes.size() &&
                          uchar(bytes[at + 1]) >= 0x40;
        const qsizetype length = pair ? 2 : 1;
        const std::optional<QString> character = decodeStrictly(bytes.sliced(at, length), codePage);
        text += character ? *character : QString(QChar(0xFFFD));
        at += length;
    }
    return text;
}

} // namespace

bool hasPageConverter(QByteArrayView name) {
    return codePageOf(name) != 0;
}

QString decodeWithPageConverter(QByteArrayView bytes, QByteArrayView name, bool *clean) {
    const UINT codePage = codePageOf(name);
    *clean = true;
    if (bytes.isEmpty())
        return {};
    if (std::optional<QString> text = decodeStrictly(bytes, codePage))
        return *text;
    *clean = false;
    return decodeCharacterByCharacter(bytes, codePage);
}

std::optional<QByteArray> encodeWithPageConverter(QStringView text, QByteArrayView name) {
    const UINT codePage = codePageOf(name);
    if (text.isEmpty())
        return QByteArray();
    const auto *wide = reinterpret_cast<const wchar_t *>(text.utf16());
    BOOL usedDefault = FALSE;
    const int size = WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, int(text.size()),
                                         nullptr, 0, nullptr, &usedDefault);
    if (size <= 0 || usedDefault)
        return std::nullopt;
    QByteArray bytes(size, Qt::Uninitialized);
    WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide, int(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

} // namespace zariza
