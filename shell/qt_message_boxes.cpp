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
    box.setIcon((buttons & kExclamation) == kExclamation ? QMessageBox::Warning
                                                         : QMessageBox::NoIcon);
    if ((buttons & 0x7) == kYesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
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
