// Message boxes on screen.
#pragma once

#include "message_boxes.h"

class QWidget;

namespace rowlark::shell {

class QtMessageBoxes : public MessageBoxes {
public:
    int show(const QString& text, int buttons, const QString& caption) override;
};

// The text as the box shows it: CR LF and lone CR become line breaks.
QString displayText(const QString& text);

} // namespace rowlark::shell
