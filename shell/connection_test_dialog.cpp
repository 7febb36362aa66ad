#include "connection_test_dialog.h"

#include "background.h"
#include "error_report.h"
#include "message_boxes.h"

#include "db/connection.h"

#include <memory>

namespace rowlark::shell {

QString CouldNotConnect(const std::string& reason) {
    return reason.empty() ? kCouldNotConnect
                          : kCouldNotConnect + "\n" + QString::fromStdString(reason);
}

void InteractiveConnectionTest(const QString& connectionString, PagePointer& pointer,
                               int loginTimeout) {
    std::unique_ptr<db::Connection> connection;
    Trap trap(HandlerLocation("Form1", "PushButton5_Click"));
    trap.step(100, [&] { connection = std::make_unique<db::Connection>(); });
    try {
        pointer.set(kPointerBusy);
        if (!connection) throw std::runtime_error("no connection object");
        connection->setLoginTimeout(loginTimeout);
        const std::string cs = connectionString.toStdString();
        // The window keeps painting while the server is asked.
        RunInBackground([&] { connection->open(cs); });
        MsgBox(kConnectionSuccessful);
        RunInBackground([&] { connection->close(); });
        pointer.set(kPointerDefault);
    } catch (const db::OdbcError& e) {
        MsgBox(CouldNotConnect(e.description()));
        pointer.set(kPointerDefault);
    } catch (const std::exception& e) {
        MsgBox(CouldNotConnect(e.what()));
        pointer.set(kPointerDefault);
    }
}

} // namespace rowlark::shell
