#include "qt_message_boxes.h"

#include <QApplication>
#include <QMessageBox>

namespace rowlark::shell {

QString displayText(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace('\r', '\n');
    return t;
}

int QtMessageBoxes::show(const QString& text, int buttons, const QString& caption) {
    QMessageBox box(QApplication::activeWindow());
    QPointer<QMessageBox> outer = open_;
    open_ = &box;
    struct Restore {
        QPointer<QMessageBox>& slot;
        QPointer<QMessageBox> was;
        ~Restore() { slot = was; }
    } restore{open_, outer};
    box.setWindowTitle(caption);
    box.setText(displayText(text));
    box.setTextFormat(Qt::PlainText);
    switch (buttons & 0x70) {
    case kExclamation:
        box.setIcon(QMessageBox::Warning);
        break;
    case kQuestion:
        box.setIcon(QMessageBox::Question);
        break;
    default:
        box.setIcon(QMessageBox::NoIcon);
    }
    if ((buttons & 0x7) == kYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        const bool secondIsDefault = (buttons & 0x300) == kDefaultButton2;
        box.setDefaultButton(secondIsDefault ? QMessageBox::No : QMessageBox::Yes);
        return box.exec() == QMessageBox::Yes ? kAnswerYes : kAnswerNo;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return kAnswerOk;
}

void QtMessageBoxes::dismissOpen() {
    if (open_) open_->done(QMessageBox::No);
}

} // namespace rowlark::shell
