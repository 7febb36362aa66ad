#include "input_blocker.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QWidget>

namespace rowlark::shell {

void InputBlocker::begin() {
    if (depth_++ == 0 && qApp) qApp->installEventFilter(this);
}

void InputBlocker::end() {
    if (--depth_ == 0 && qApp) qApp->removeEventFilter(this);
}

bool InputBlocker::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        if (auto* w = qobject_cast<QWidget*>(watched))
            return qobject_cast<QDialog*>(w->window()) == nullptr;
        return false;
    default:
        return false;
    }
}

} // namespace rowlark::shell
