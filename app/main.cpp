#include "chinese_language.h"
#include "form1.h"
#include "large_buffers.h"
#include "process_signals.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

namespace {

// The buttons ask for 宋体 (SimSun); where it is missing, use another Song/Ming face.
void substituteSongFaces() {
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("Source Han Serif SC")});
}

} // namespace

int main(int argc, char *argv[]) {
    zariza::mapLargeBlocks();
    zariza::ignoreFileSizeSignal();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zariza"));
    QApplication::setApplicationVersion(QStringLiteral(ZARIZA_VERSION));
    // Lets the desktop match the window to its launcher entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.zariza.Editor"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/zariza.png")));
    substituteSongFaces();
    zariza::speakChinese(app);

    zariza::Form1 window;
    window.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, window.size(),
                                           window.screen()->availableGeometry()));
    zariza::closeOnTerminationSignals(window);
    window.show();
    return QApplication::exec();
}
