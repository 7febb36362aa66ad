#include "message_boxes.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include "connection_profile.h"

namespace rowlark::shell {
namespace {

std::unique_ptr<MessageBoxes>& current() {
    static std::unique_ptr<MessageBoxes> boxes = std::make_unique<ScriptedMessageBoxes>();
    return boxes;
}

QString& title() {
    static QString t = kProductName;
    return t;
}

} // namespace

int ScriptedMessageBoxes::show(const QString& text, int buttons, const QString& caption) {
    shown.push_back({text, buttons, caption});
    if (holdNext_ && (buttons & 0x7) == kYesNo) {
        holdNext_ = false;
        dismissed_ = false;
        QElapsedTimer open;
        open.start();
        while (!dismissed_ && open.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return kAnswerNo;
    }
    if (!answers_.empty()) {
        int a = answers_.front();
        answers_.pop_front();
        return a;
    }
    return (buttons & 0x7) == kYesNo ? kAnswerNo : kAnswerOk;
}

MessageBoxes& messageBoxes() {
    return *current();
}

void setMessageBoxes(std::unique_ptr<MessageBoxes> boxes) {
    current() = std::move(boxes);
}

int MsgBox(const QString& text, int buttons, const QString& caption) {
    return messageBoxes().show(text, buttons, caption.isEmpty() ? applicationTitle() : caption);
}

QString applicationTitle() {
    return title();
}

QString ShortenedTitle(const QString& productName) {
    QString t = productName;
    // The cut runs at least once; a name without any blank cannot be cut and stays whole.
    do {
        const int blank = t.lastIndexOf(' ');
        if (blank < 0) break;
        t = t.left(blank);
    } while (t.size() > 40);
    return t;
}

void SetApplicationTitle(const QString& productName) {
    title() = ShortenedTitle(productName);
}

} // namespace rowlark::shell
