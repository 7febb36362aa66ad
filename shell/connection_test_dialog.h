// The interactive connection test behind the connection page's "Test Connection".
#pragma once

#include "page_pointer.h"

#include <QString>

#include <string>

namespace rowlark::shell {

inline const QString kConnectionSuccessful = QStringLiteral("Connection successful.");
inline const QString kCouldNotConnect =
    QStringLiteral("Could not connect. Please check with your administrator.");

// kCouldNotConnect with the driver's reason on a second line.
QString CouldNotConnect(const std::string& reason);

// Opens a connection with the string, says "Connection successful." while it is open, closes it;
// any failure says kCouldNotConnect instead, with the reason. The pointer shows the hourglass
// meanwhile and is back to the default afterwards. loginTimeout in seconds; 0 keeps the driver's
// default.
void InteractiveConnectionTest(const QString& connectionString, PagePointer& pointer,
                               int loginTimeout = 0);

} // namespace rowlark::shell
