#include "page.h"

#include "look.h"
#include "wizard.h"

#include "common/process_end.h"
#include "shell/page_controls.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QCloseEvent>
#include <QMouseEvent>
#include <QScreen>

#include <cstdio>

namespace rowlark::pages {

std::function<void()> Page::endProgram = [] {
    // Ends the run at once. A job's work table is a temporary table of its connection: the server
    // drops it when the process's connections go.
    std::fflush(nullptr);
    EndProcessNow(0);
};

Page::Page(Wizard& wizard, int w, int h) : QWidget(nullptr, Qt::Window), wizard_(wizard) {
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFixedSize(twips(0, 0, w, h).size());
    setWindowIcon(programIcon());
    setMouseTracking(true);
    MousePointer.onChange = [this](int v) { showPointer(v); };
}

QRect Page::twips(int left, int top, int width, int height) {
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

void Page::enter() {
    fillFromChoices();
    show();
    if (QWidget* w = firstFocus()) w->setFocus();
}

void Page::setVisible(bool visible) {
    QWidget::setVisible(visible);
    if (!visible) return;
    raise();
    activateWindow();
}

void Page::centre() {
    if (QScreen* s = screen()) move(s->availableGeometry().center() - rect().center());
}

void Page::showPointer(int v) {
    if (v == shell::kPointerBusy)
        setCursor(Qt::WaitCursor);
    else if (v == shell::kPointerCustom)
        setCursor(mouseIcon_ ? *mouseIcon_ : QCursor(Qt::ArrowCursor));
    else
        unsetCursor();
    // Let the hourglass show before the work begins.
    if (v == shell::kPointerBusy)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void Page::hoverAsButton(QWidget* w) {
    if (auto* b = qobject_cast<shell::PushButton*>(w))
        connect(b, &shell::PushButton::mouseMoved, this, [this] {
            if (MousePointer.value() != shell::kPointerBusy)
                MousePointer.set(shell::kPointerCustom);
        });
}

void Page::hoverAsBackground(QWidget* w) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
    // A list's items and a grid's cells are drawn in its viewport, which gets the moves.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
        area->viewport()->setMouseTracking(true);
        area->viewport()->installEventFilter(this);
    }
}

void Page::hoverLeavesPointer(QWidget* w) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
    neutral_.push_back(w);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(w)) {
        area->viewport()->setMouseTracking(true);
        area->viewport()->installEventFilter(this);
        neutral_.push_back(area->viewport());
    }
}

bool Page::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseMove) {
        if (std::find(neutral_.begin(), neutral_.end(), watched) != neutral_.end())
            return static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton;
        if (MousePointer.value() != shell::kPointerBusy) MousePointer.set(shell::kPointerDefault);
    }
    return QWidget::eventFilter(watched, event);
}

void Page::mouseMoveEvent(QMouseEvent* event) {
    if (MousePointer.value() != shell::kPointerBusy) MousePointer.set(shell::kPointerDefault);
    QWidget::mouseMoveEvent(event);
}

void Page::closeEvent(QCloseEvent* event) {
    if (!wizard_.mayEnd()) return event->ignore();
    event->accept();
    endProgram();
}

} // namespace rowlark::pages
