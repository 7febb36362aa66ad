#include "message_boxes.h"

#include "connection_profile.h"

namespace rowlark::shell {
namespace {

std::unique_ptr<MessageBoxes>& current() {
    static std::unique_ptr<MessageBoxes> boxes = std::make_unique<UnattendedMessageBoxes>();
    return boxes;
}

QString& title() {
    static QString t = kProductName;
    return t;
}

} // namespace

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
