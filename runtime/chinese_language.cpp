#include "chinese_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstring>

namespace zariza {

namespace {

// Where Qt's own Chinese says a thing the way a Chinese desktop does not ("体积" for a file's size,
// "显示 体积" with a blank between the words).
class DesktopWording : public QTranslator {
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char *context, const char *sourceText, const char *,
                      int) const override {
        struct Wording {
            const char *context;
            const char *english;
            const char *chinese;
        };
        static constexpr Wording wordings[] = {
            {"QFileSystemModel", "Size", "大小"},
            {"QFileDialog", "Show ", "显示"},
            {"QFileDialog", "File &name:", "文件名(&N)："},
            {"QFileDialog", "Parent Directory", "向上一级"},
            {"QFileDialog", "Go to the parent directory", "转到上一级文件夹"},
            {"QFileDialog", "List View", "列表"},
            {"QFileDialog", "Detail View", "详细信息"},
        };
        for (const Wording &wording : wordings) {
            if (std::strcmp(context, wording.context) == 0 &&
                std::strcmp(sourceText, wording.english) == 0)
                return QString::fromUtf8(wording.chinese);
        }
        return {};
    }
};

} // namespace

void speakChinese(QCoreApplication &app) {
    auto *qtWords = new QTranslator(&app);
    if (qtWords->load(QStringLiteral("qtbase_zh_CN"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtWords);
    // Installed last, so asked first.
    QCoreApplication::installTranslator(new DesktopWording(&app));
    // Sizes and dates in Chinese too. The environment stays as it was: the browser that shows the
    // preview inherits it and should speak the desktop's language.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

} // namespace zariza
