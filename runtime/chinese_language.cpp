#include "chinese_language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace zariza {

void speakChinese(QCoreApplication &app) {
    // Installed last, so asked first: our wordings (dialog_wording_zh_CN.ts), then Qt's own.
    const std::pair<QString, QString> translations[] = {
        {QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)},
        {QStringLiteral("dialog_wording_zh_CN"), QStringLiteral(":/i18n")},
    };
    for (const auto &[name, folder] : translations) {
        auto *translator = new QTranslator(&app);
        if (translator->load(name, folder))
            QCoreApplication::installTranslator(translator);
    }
    // Sizes and dates in Chinese too. The environment stays as it was: the browser that shows the
    // preview inherits it and should speak the desktop's language.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
}

} // namespace zariza
