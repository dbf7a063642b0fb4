#include "floors.h"

#include "document_edit.h"
#include "gb18030.h"

#include <QFile>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <stdexcept>

namespace zariza::perf {

namespace {

QByteArray encodedAtFloor(const QPlainTextEdit &edit, SampleKind kind) {
    const QString text = edit.toPlainText();
    return isUtf8(kind) ? QByteArray(QStringEncoder(QStringEncoder::Utf8).encode(text))
                        : encodeGbk(text);
}

void writeAtFloor(const QByteArray &bytes, QFileDevice &file) {
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
    writeAtFloor(encodedAtFloor(edit, kind), file);
}

void saveAtomicallyAtFloor(const QPlainTextEdit &edit, SampleKind kind, const QString &path) {
    QSaveFile file(path);
    writeAtFloor(encodedAtFloor(edit, kind), file);
    if (!file.commit())
        throw std::runtime_error("cannot commit " + path.toStdString());
}

void configureLikeText1(QPlainTextEdit &edit) {
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    edit.resize(385, 217);
}

DocumentEdit &setUpLikeText1(DocumentEdit &edit) {
    configureLikeText1(edit);
    return edit;
}

} // namespace zariza::perf
