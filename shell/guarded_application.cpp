#include "guarded_application.h"

#include "message_boxes.h"

#include "db/odbc_error.h"

namespace rowlark::shell {

bool GuardedApplication::notify(QObject* receiver, QEvent* event) {
    QString what;
    try {
        return QApplication::notify(receiver, event);
    } catch (const db::OdbcError& e) {
        what = QString::fromStdString(e.description());
    } catch (const std::exception& e) {
        what = QString::fromStdString(e.what());
    } catch (...) {
        what = QStringLiteral("unknown error");
    }
    MsgBox("Something went wrong, and what it was doing was left as it was:\n" + what,
           kExclamation);
    return false;
}

} // namespace rowlark::shell
