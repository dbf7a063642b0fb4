#include "accessibility.h"

#include "form1.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QFrame>
#include <QKeyEvent>

namespace zariza {

namespace {

class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
            (key->modifiers() & ~Qt::KeypadModifier))
            return false;
        // Held down, Enter presses once, as Space does.
        if (!key->isAutoRepeat())
            static_cast<QAbstractButton *>(watched)->click();
        return true;
    }
};

bool isBorderLine(const QWidget *widget) {
    const auto *frame = qobject_cast<const QFrame *>(widget);
    return frame && (frame->frameShape() == QFrame::HLine || frame->frameShape() == QFrame::VLine);
}

// Qt shows a plain QWidget window as a pane ("filler") rather than a window, and lists every child
// widget in it: the border lines, which only draw, would be read out as three frames without names.
class WindowAccessible : public QAccessibleWidget {
public:
    explicit WindowAccessible(QWidget *window) : QAccessibleWidget(window, QAccessible::Window) {}

    int childCount() const override { return int(parts().size()); }

    QAccessibleInterface *child(int index) const override {
        const QWidgetList shown = parts();
        return index >= 0 && index < shown.size()
                   ? QAccessible::queryAccessibleInterface(shown[index])
                   : nullptr;
    }

    int indexOfChild(const QAccessibleInterface *child) const override {
        return child ? int(parts().indexOf(qobject_cast<QWidget *>(child->object()))) : -1;
    }

private:
    QWidgetList parts() const {
        QWidgetList shown;
        for (QObject *child : widget()->children()) {
            auto *part = qobject_cast<QWidget *>(child);
            if (part && !part->isWindow() && !isBorderLine(part))
                shown.append(part);
        }
        return shown;
    }
};

QAccessibleInterface *windowAccessible(const QString &className, QObject *object) {
    auto *form = qobject_cast<Form1 *>(object);
    if (form && className == QLatin1String(Form1::staticMetaObject.className()))
        return new WindowAccessible(form);
    return nullptr;
}

} // namespace

void pressButtonsWithEnter(QWidget *form) {
    for (QAbstractButton *button :
         form->findChildren<QAbstractButton *>(Qt::FindDirectChildrenOnly))
        button->installEventFilter(new EnterPressesButton(button));
}

void describeWindowToScreenReaders() {
    QAccessible::installFactory(windowAccessible);
}

} // namespace zariza
