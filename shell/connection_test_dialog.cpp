#include "connection_test_dialog.h"

#include "error_report.h"
#include "message_boxes.h"

#include "db/connection.h"

#include <memory>

namespace rowlark::shell {

void InteractiveConnectionTest(const QString& connectionString, PagePointer& pointer,
                               int loginTimeout) {
    std::unique_ptr<db::Connection> connection;
    Trap trap(HandlerLocation("Form1", "PushButton5_Click"));
    trap.step(100, [&] { connection = std::make_unique<db::Connection>(); });
    try {
        pointer.set(kPointerBusy);
        if (!connection) throw std::runtime_error("no connection object");
        connection->setLoginTimeout(loginTimeout);
        connection->open(connectionString.toStdString());
        MsgBox(kConnectionSuccessful);
        connection->close();
        pointer.set(kPointerDefault);
    } catch (...) {
        MsgBox(kCouldNotConnect);
        pointer.set(kPointerDefault);
    }
}

} // namespace rowlark::shell
