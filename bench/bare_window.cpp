// The least a Qt program showing a text box does: the editor's start-up is timed against this,
// and bench/peers.py times it opening and saving the sample pages beside the other editors.
//
//   bare_window [FILE [gbk|utf-8]]    Ctrl+S writes the text back to FILE in the same encoding
#include <QApplication>
#include <QFile>
#include <QKeySequence>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QShortcut>
#include <QStringDecoder>
#include <QStringEncoder>
#include <cstdio>

namespace {

// Debian's Qt reads and writes GBK through ICU, by its superset's name.
const char *codecName(const QString &encoding) {
    return encoding == QLatin1String("gbk") ? "GB18030" : "UTF-8";
}

bool load(QPlainTextEdit &edit, const QString &path, const QString &encoding) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QStringDecoder decode(codecName(encoding));
    edit.setPlainText(decode(file.readAll()));
    return true;
}

bool save(const QPlainTextEdit &edit, const QString &path, const QString &encoding) {
    QStringEncoder encode(codecName(encoding));
    const QByteArray bytes = encode(edit.toPlainText());
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    const QString path = arguments.value(1);
    const QString encoding = arguments.value(2, QStringLiteral("utf-8"));
    QPlainTextEdit edit;
    edit.resize(401, 303);
    if (!path.isEmpty() && !load(edit, path, encoding)) {
        std::fprintf(stderr, "bare_window: cannot read %s\n", qPrintable(path));
        return 1;
    }
    QShortcut saveKey(QKeySequence::Save, &edit);
    QObject::connect(&saveKey, &QShortcut::activated, &edit, [&] {
        if (!path.isEmpty() && !save(edit, path, encoding))
            std::fprintf(stderr, "bare_window: cannot write %s\n", qPrintable(path));
    });
    edit.show();
    return QApplication::exec();
}
