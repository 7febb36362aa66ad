#include "connection_profile.h"

#include "settings_store.h"

namespace rowlark::shell {
namespace {

QString quoted(const QString& value) {
    if (!value.contains(';') && !value.contains('{') && !value.contains('}')) return value;
    QString v = value;
    v.replace('}', QStringLiteral("}}"));
    return '{' + v + '}';
}

} // namespace

QString OdbcDriverName() {
    const QString chosen = qEnvironmentVariable("ROWLARK_ODBC_DRIVER").trimmed();
    return chosen.isEmpty() ? QStringLiteral("SQL Server") : chosen;
}

QString BuildConnectionString(const ConnectionProfile& p) {
    const QString server = p.localConnection == 1 ? p.server : p.server + "," + p.port;
    QString driver = OdbcDriverName();
    driver.replace('}', QStringLiteral("}}"));
    return "Driver={" + driver + "};Server=" + quoted(server) + ";Database=" + quoted(p.database) +
           ";Uid=" + quoted(p.user) + ";Pwd=" + quoted(p.password) + ";";
}

int LocalConnectionFromSetting(const QString& stored) {
    return stored == QStringLiteral("0") ? 0 : 1;
}

QString LocalConnectionSetting(int value) {
    return value == 1 ? QStringLiteral("1") : QStringLiteral("0");
}

ConnectionProfile LoadStoredProfile() {
    ConnectionProfile p;
    p.server = GetSetting(kAppName, kProductName, kKeyServer);
    p.user = GetSetting(kAppName, kProductName, kKeyUser);
    p.password = GetSetting(kAppName, kProductName, kKeyPassword);
    p.database = GetSetting(kAppName, kProductName, kKeyDatabase);
    p.port = GetSetting(kAppName, kProductName, kKeyPort, kDefaultPort);
    p.localConnection =
        LocalConnectionFromSetting(GetSetting(kAppName, kProductName, kKeyLocalConnection, "0"));
    return p;
}

} // namespace rowlark::shell
