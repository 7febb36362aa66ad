// The application object: an exception that escapes an event handler is reported and the program
// goes on, instead of ending it.
#pragma once

#include <QApplication>

namespace rowlark::shell {

class GuardedApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace rowlark::shell
