// Message boxes on screen.
#pragma once

#include "message_boxes.h"

#include <QMessageBox>
#include <QPointer>

namespace rowlark::shell {

class QtMessageBoxes : public MessageBoxes {
public:
    int show(const QString& text, int buttons, const QString& caption) override;
    void dismissOpen() override;

private:
    QPointer<QMessageBox> open_; // the box on screen now
};

// The text as the box shows it: CR LF and lone CR become line breaks.
QString displayText(const QString& text);

} // namespace rowlark::shell
