// The six connection settings and the one rule that turns them into an ODBC connection string.
#pragma once

#include <QString>

namespace rowlark::shell {

inline const QString kAppName = QStringLiteral("Quenbrook");
inline const QString kProductName = QStringLiteral("Rowlark"); // also the settings section

inline const QString kKeyServer = QStringLiteral("MSServer");
inline const QString kKeyUser = QStringLiteral("MSUser");
inline const QString kKeyPassword = QStringLiteral("MSPassword");
inline const QString kKeyDatabase = QStringLiteral("MSDatabase");
inline const QString kKeyPort = QStringLiteral("Port");
inline const QString kKeyLocalConnection = QStringLiteral("Local Connection");
inline const QString kDefaultPort = QStringLiteral("1433");

struct ConnectionProfile {
    QString server;
    QString port;
    QString user;
    QString password;
    QString database;
    int localConnection = 0; // 1: a local instance, named without a port
};

// "Driver={SQL Server};Server=S[,P];Database=D;Uid=U;Pwd=W;". Values go in as typed, except that a
// value holding ';', '{' or '}' is braced the ODBC way ('}' doubled), so that it can neither break
// the string nor add keys to it.
QString BuildConnectionString(const ConnectionProfile& profile);
// The ODBC driver the connection string names: "SQL Server", unless ROWLARK_ODBC_DRIVER names
// another (where only "ODBC Driver 18 for SQL Server" is installed, say).
QString OdbcDriverName();

// The stored "Local Connection" text as the check box's value: "0" is unchecked, anything else
// checked.
int LocalConnectionFromSetting(const QString& stored);
// The check box's value as stored: 1 is "1", anything else "0".
QString LocalConnectionSetting(int value);

// The profile as stored, with the defaults of a first run.
ConnectionProfile LoadStoredProfile();

} // namespace rowlark::shell
