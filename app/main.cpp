#include "chinese_language.h"
#include "form1.h"
#include "process_signals.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QStyle>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// The buttons ask for 宋体 (SimSun); where it is missing, use another Song/Ming face.
void substituteSongFaces() {
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN"),
                                QStringLiteral("Noto Serif CJK SC"),
                                QStringLiteral("Source Han Serif SC")});
}

// glibc serves blocks below a threshold from its heap, and raises the threshold to the size of
// any mapped block freed, up to 32 MiB. A document's buffers, grown piece by piece, would then be
// copied into a fresh block at every doubling; mapped, they grow in place.
void mapLargeBlocks() {
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
#endif
}

} // namespace

int main(int argc, char *argv[]) {
    mapLargeBlocks();
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
