// Logging in to the sandbox through unixODBC and the FreeTDS driver.
#include "odbc_support.h"

using namespace rowlark;
using namespace rowlark::test;

namespace {

db::OdbcError loginError(const std::string& connectionString) {
    db::Connection c;
    c.setLoginTimeout(10);
    try {
        c.open(connectionString);
    } catch (const db::OdbcError& e) {
        EXPECT_FALSE(c.isOpen());
        return e;
    }
    ADD_FAILURE() << "login succeeded: " << connectionString;
    return db::OdbcError("", "");
}

bool hasRecord(const db::OdbcError& e, long native, const std::string& text) {
    for (const auto& r : e.records())
        if (r.nativeError == native && r.message.find(text) != std::string::npos) return true;
    return false;
}

} // namespace

TEST(SandboxLogin, WorkingLoginRunsAQuery) {
    auto c = connect("Demo");
    EXPECT_TRUE(c->isOpen());
    EXPECT_EQ(query(*c, "SELECT 1 + 1"), (Rows{{"2"}}));
}

TEST(SandboxLogin, WrongPasswordFailsWith18456) {
    auto e = loginError(connectionString("Demo", "wrong"));
    EXPECT_TRUE(hasRecord(e, 18456, "[FreeTDS][SQL Server]Login failed for user 'sa'."))
        << e.description();
}

TEST(SandboxLogin, WrongUserNamesTheUser) {
    auto cs = connectionString("Demo");
    cs.replace(cs.find("Uid=sa"), 6, "Uid=bob");
    auto e = loginError(cs);
    EXPECT_TRUE(hasRecord(e, 18456, "Login failed for user 'bob'.")) << e.description();
}

TEST(SandboxLogin, UnknownDatabaseFailsWith4060) {
    auto e = loginError(connectionString("NoSuchDb"));
    EXPECT_TRUE(hasRecord(
        e, 4060, "Cannot open database \"NoSuchDb\" requested by the login. The login failed."))
        << e.description();
}

TEST(SandboxLogin, DatabaseNameIgnoresCase) {
    auto c = connect("demo");
    EXPECT_EQ(query(*c, "SELECT count(*) FROM Orders"), (Rows{{"7"}}));
}

TEST(SandboxLogin, PortWhereNothingListensFails) {
    db::Connection c;
    c.setLoginTimeout(3);
    std::string cs = connectionString("Demo");
    cs.replace(cs.find(std::to_string(sandboxPort())), std::to_string(sandboxPort()).size(), "1");
    EXPECT_THROW(c.open(cs), db::OdbcError);
}
