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

} // namespace rowlark::shell
