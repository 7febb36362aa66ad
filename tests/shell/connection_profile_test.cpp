// The connection string rule and the stored profile.
#include "shell/connection_profile.h"
#include "shell/settings_store.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace rowlark::shell;

namespace {

ConnectionProfile profile(QString server, QString port, QString user, QString password,
                          QString database, int local) {
    return {server, port, user, password, database, local};
}

} // namespace

TEST(BuildConnectionString, ServerCommaPortUnlessLocal) {
    EXPECT_EQ(BuildConnectionString(profile("db1", "1433", "sa", "", "Sales", 0)),
              "Driver={SQL Server};Server=db1,1433;Database=Sales;Uid=sa;Pwd=;");
    EXPECT_EQ(
        BuildConnectionString(profile("localhost\\SQLEXPRESS", "1433", "sa", "pw", "Sales", 1)),
        "Driver={SQL Server};Server=localhost\\SQLEXPRESS;Database=Sales;Uid=sa;Pwd=pw;");
    EXPECT_EQ(BuildConnectionString(profile("db1", "", "sa", "x", "d", 0)),
              "Driver={SQL Server};Server=db1,;Database=d;Uid=sa;Pwd=x;")
        << "an empty port still leaves the comma";
    EXPECT_EQ(BuildConnectionString(profile("db1", "9999", "u", "p", "d", 2)),
              "Driver={SQL Server};Server=db1,9999;Database=d;Uid=u;Pwd=p;")
        << "only 1 means local";
    EXPECT_EQ(BuildConnectionString(profile("", "1433", "", "", "", 0)),
              "Driver={SQL Server};Server=,1433;Database=;Uid=;Pwd=;");
}

TEST(BuildConnectionString, ValuesAreVerbatimUnlessTheyCouldBreakTheString) {
    EXPECT_EQ(BuildConnectionString(profile(" db1 ", "14 33", "s a", "p=w 'x\"", "S\u00e4les", 0)),
              "Driver={SQL Server};Server= db1 ,14 33;Database=S\u00e4les;Uid=s a;Pwd=p=w 'x\";");
    // A password that would add a key of its own is braced, so the login cannot be redirected.
    EXPECT_EQ(BuildConnectionString(profile("db1", "1433", "sa", "x;Server=elsewhere", "d", 0)),
              "Driver={SQL Server};Server=db1,1433;Database=d;Uid=sa;Pwd={x;Server=elsewhere};");
    EXPECT_EQ(BuildConnectionString(profile("db1", "1433", "sa", "a}b{c", "d", 0)),
              "Driver={SQL Server};Server=db1,1433;Database=d;Uid=sa;Pwd={a}}b{c};");
    EXPECT_EQ(BuildConnectionString(profile("db;1", "1", "u;", "p", "d}", 0)),
              "Driver={SQL Server};Server={db;1,1};Database={d}}};Uid={u;};Pwd=p;");
}

TEST(BuildConnectionString, AnotherDriverOnlyByName) {
    qputenv("ROWLARK_ODBC_DRIVER", " ODBC Driver 18 for SQL Server ");
    const QString chosen = BuildConnectionString(profile("db1", "1433", "sa", "x", "d", 0));
    // A name cannot close the brace early and add keys of its own.
    qputenv("ROWLARK_ODBC_DRIVER", "X};Server=elsewhere;{");
    const QString hostile = BuildConnectionString(profile("db1", "1433", "sa", "x", "d", 0));
    qputenv("ROWLARK_ODBC_DRIVER", "  ");
    const QString blank = BuildConnectionString(profile("db1", "1433", "sa", "x", "d", 0));
    qunsetenv("ROWLARK_ODBC_DRIVER");
    EXPECT_EQ(chosen,
              "Driver={ODBC Driver 18 for SQL Server};Server=db1,1433;Database=d;Uid=sa;Pwd=x;");
    EXPECT_EQ(hostile, "Driver={X}};Server=elsewhere;{};Server=db1,1433;Database=d;Uid=sa;Pwd=x;");
    EXPECT_TRUE(blank.startsWith("Driver={SQL Server};")) << blank.toStdString();
}

TEST(LocalConnectionSetting, OnlyZeroIsUnchecked) {
    EXPECT_EQ(LocalConnectionFromSetting("0"), 0);
    for (const char* s : {"1", "2", "", "yes", " 0"})
        EXPECT_EQ(LocalConnectionFromSetting(s), 1) << s;
    EXPECT_EQ(LocalConnectionSetting(1), "1");
    EXPECT_EQ(LocalConnectionSetting(0), "0");
    EXPECT_EQ(LocalConnectionSetting(2), "0");
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("ROWLARK_SETTINGS_DIR", dir.path().toLocal8Bit());
        setSettingsStore(std::make_unique<QSettingsStore>());
    }
    void TearDown() override {
        setSettingsStore(nullptr);
        qunsetenv("ROWLARK_SETTINGS_DIR");
    }
    QTemporaryDir dir;
};

TEST_F(SettingsStoreTest, FirstRunGivesTheDefaults) {
    ConnectionProfile p = LoadStoredProfile();
    EXPECT_EQ(p.server, "");
    EXPECT_EQ(p.user, "");
    EXPECT_EQ(p.password, "");
    EXPECT_EQ(p.database, "");
    EXPECT_EQ(p.port, "1433");
    EXPECT_EQ(p.localConnection, 0);
    EXPECT_FALSE(QFile::exists(dir.filePath("Quenbrook.ini"))) << "reading writes nothing";
}

TEST_F(SettingsStoreTest, ValuesRoundTripUnderTheirKeys) {
    SaveSetting(kAppName, kProductName, kKeyServer, "db\u00e9\\SQLEXPRESS");
    SaveSetting(kAppName, kProductName, kKeyPassword, "p;w{}=");
    SaveSetting(kAppName, kProductName, kKeyPort, "");
    SaveSetting(kAppName, kProductName, kKeyLocalConnection, "yes");
    setSettingsStore(std::make_unique<QSettingsStore>()); // as a new run would read it
    ConnectionProfile p = LoadStoredProfile();
    EXPECT_EQ(p.server, "db\u00e9\\SQLEXPRESS");
    EXPECT_EQ(p.password, "p;w{}=") << "kept as typed";
    EXPECT_EQ(p.port, "") << "a stored empty port stays empty";
    EXPECT_EQ(p.localConnection, 1);
    EXPECT_EQ(GetSetting(kAppName, kProductName, "Missing", "fallback"), "fallback");
    EXPECT_EQ(GetSetting(kAppName, "OtherSection", kKeyServer), "");
}

TEST_F(SettingsStoreTest, FileIsOwnerOnlyAndInTheChosenFolder) {
    SaveSetting(kAppName, kProductName, kKeyPassword, "secret");
    const QString file = dir.filePath("Quenbrook.ini");
    ASSERT_TRUE(QFile::exists(file));
    EXPECT_EQ(QFile::permissions(file) &
                  (QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther),
              0);
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray text = f.readAll();
    EXPECT_TRUE(text.contains("[Rowlark]"));
    EXPECT_TRUE(text.contains("MSPassword=secret"))
        << "stored in plain text, as the program always has";
}
