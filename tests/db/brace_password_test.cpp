// A password holding every character that needs quoting logs in, through the connection string
// the program builds, against a sandbox of its own that has such a password.
#include "db/connection_check.h"
#include "shell/connection_profile.h"
#include "support/sandbox_env.h"

#include "server.h"

#include <gtest/gtest.h>

#include <thread>

using namespace rowlark;

TEST(BracePassword, SemicolonAndBothBracesLogIn) {
    const std::string password = "Pa}ss;w{rd}";
    const auto dir =
        std::filesystem::temp_directory_path() / ("rowlark-braces-" + std::to_string(::getpid()));
    test::sandboxDir(); // the suite's driver registration
    {
        sandbox::Store store(dir);
        sandbox::Server server(store, {"sa", password});
        const int port = server.listen(0);
        std::thread serving([&] { server.serve(); });
        shell::ConnectionProfile p{"127.0.0.1", QString::number(port),
                                   "sa",        QString::fromStdString(password),
                                   "master",    0};
        const std::string cs = shell::BuildConnectionString(p).toStdString();
        EXPECT_EQ(cs.substr(cs.find("Pwd=")), "Pwd={Pa}}ss;w{rd}}};");
        EXPECT_TRUE(db::TestConnection(cs, 10));
        p.password = "Pa}ss;w{rd";
        EXPECT_FALSE(db::TestConnection(shell::BuildConnectionString(p).toStdString(), 10));
        server.stop();
        serving.join();
    }
    std::filesystem::remove_all(dir);
}
