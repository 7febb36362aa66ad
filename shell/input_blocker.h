// Holds back clicks, keys and wheel turns to the program's windows while work waits; message boxes
// and dialogs still take them, and a window can still be closed.
#pragma once

#include "background.h"

#include <QObject>

namespace rowlark::shell {

class InputBlocker : public QObject, public WaitGuard {
public:
    void begin() override;
    void end() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int depth_ = 0;
};

} // namespace rowlark::shell
