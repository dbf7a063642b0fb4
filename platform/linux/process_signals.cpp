#include "process_signals.h"

#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QWidget>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace zariza {

void ignoreFileSizeSignal() {
    std::signal(SIGXFSZ, SIG_IGN);
}

namespace {

// A handler may do almost nothing: it only wakes the event loop through this pair.
int signalSockets[2] = {-1, -1};

void wakeEventLoop(int) {
    const int savedErrno = errno;
    const char byte = 1;
    (void)::write(signalSockets[1], &byte, 1);
    errno = savedErrno;
}

// Rings again once the box it watches closes, so that a signal that came while a box was open is
// answered then, and not dropped.
class RingWhenClosed : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Hide) {
            watched->removeEventFilter(this);
            wakeEventLoop(0);
        }
        return false;
    }
};

// Set while the question a signal raised is open: a signal then is answered by that question.
bool asking = false;

void closeUnlessBusy(QWidget &window, QObject &ringWhenClosed) {
    char drained[64];
    while (::read(signalSockets[0], drained, sizeof drained) > 0) {
    }
    if (QWidget *dialog = QApplication::activeModalWidget()) {
        dialog->raise();
        dialog->activateWindow();
        if (!asking)
            dialog->installEventFilter(&ringWhenClosed);
        return;
    }
    asking = true;
    window.close();
    asking = false;
}

} // namespace

void closeOnTerminationSignals(QWidget &window) {
    if (signalSockets[0] >= 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, &window);
    auto *ringWhenClosed = new RingWhenClosed(&window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window,
                     [&window, ringWhenClosed] { closeUnlessBusy(window, *ringWhenClosed); });
    struct sigaction action {};
    action.sa_handler = wakeEventLoop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGHUP, SIGINT})
        ::sigaction(signal, &action, nullptr);
}

} // namespace zariza
