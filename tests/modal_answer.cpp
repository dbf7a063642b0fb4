#include "modal_answer.h"

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace zariza::testing {

void answerModalLater(std::function<void(QWidget *modal)> answer) {
    QTimer::singleShot(20, qApp, [answer = std::move(answer)]() mutable {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            answerModalLater(std::move(answer));
            return;
        }
        answer(modal);
    });
}

} // namespace zariza::testing
