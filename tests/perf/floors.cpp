#include "floors.h"

#include "document_codec.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QStringDecoder>
#include <QStringEncoder>
#include <stdexcept>
#include <unistd.h>

namespace zariza::perf {

namespace {

void writeAtFloor(const QPlainTextEdit &edit, SampleKind kind, QFile &file) {
    const QString text = edit.toPlainText();
    const QByteArray bytes = isUtf8(kind)
                                 ? QByteArray(QStringEncoder(QStringEncoder::Utf8).encode(text))
                                 : encodeGbk(text);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        throw std::runtime_error("cannot write " + file.fileName().toStdString());
}

} // namespace

void openAtFloor(const QString &path, SampleKind kind, QPlainTextEdit &edit) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw std::runtime_error("cannot read " + path.toStdString());
    const QByteArray bytes = file.readAll();
    QString text;
    if (isUtf8(kind)) {
        text = QStringDecoder(QStringDecoder::Utf8).decode(bytes);
    } else {
        bool clean = false;
        text = decodeGb18030(bytes, &clean);
    }
    edit.setPlainText(text);
}

void saveAtFloor(const QPlainTextEdit &edit, SampleKind kind, const QString &path) {
    QFile file(path);
    writeAtFloor(edit, kind, file);
}

void saveDurablyAtFloor(const QPlainTextEdit &edit, SampleKind kind, const QString &path) {
    QFile file(path);
    writeAtFloor(edit, kind, file);
    if (::fdatasync(file.handle()) != 0)
        throw std::runtime_error("cannot sync " + path.toStdString());
}

void configureLikeText1(QPlainTextEdit &edit) {
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit.resize(385, 217);
}

} // namespace zariza::perf
