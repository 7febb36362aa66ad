// TestConnection and the interactive test against the sandbox.
#include "sandbox/odbc_support.h"

#include "db/connection_check.h"
#include "shell/connection_test_dialog.h"
#include "shell/message_boxes.h"
#include "support/scripted_message_boxes.h"
#include "support/silent_listener.h"

#include <QStringList>

#include <chrono>

using namespace rowlark;
using namespace rowlark::test;

namespace {

std::string build(shell::ConnectionProfile p) {
    return shell::BuildConnectionString(p).toStdString();
}

class ConnectionChecks : public ::testing::Test {
protected:
    void SetUp() override {
        auto b = std::make_unique<test::ScriptedMessageBoxes>();
        boxes = b.get();
        shell::setMessageBoxes(std::move(b));
        pointer.onChange = [this](int v) { pointerHistory.push_back(v); };
    }
    test::ScriptedMessageBoxes* boxes = nullptr;
    shell::PagePointer pointer;
    std::vector<int> pointerHistory;
};

} // namespace

TEST_F(ConnectionChecks, WorkingLoginWithSemicolonAndBraceInThePassword) {
    auto p = sandboxProfile("Demo");
    ASSERT_NE(p.password.indexOf(';'), -1);
    ASSERT_NE(p.password.indexOf('{'), -1);
    EXPECT_TRUE(db::TestConnection(build(p), 10));
    shell::InteractiveConnectionTest(shell::BuildConnectionString(p), pointer, 10);
    ASSERT_EQ(boxes->shown.size(), 1u) << "exactly one message";
    EXPECT_EQ(boxes->shown[0].text, "Connection successful.");
    EXPECT_EQ(boxes->shown[0].buttons, shell::kOkOnly);
    EXPECT_EQ(boxes->shown[0].caption, shell::applicationTitle());
    EXPECT_EQ(pointerHistory, (std::vector<int>{shell::kPointerBusy, shell::kPointerDefault}));
}

TEST_F(ConnectionChecks, EveryKindOfFailureIsFalseAndTheSameMessage) {
    auto wrongPassword = sandboxProfile("Demo", "nope");
    auto unknownDatabase = sandboxProfile("NoSuchDatabase");
    auto emptyServer = sandboxProfile("Demo");
    emptyServer.server = "";
    auto closedPort = sandboxProfile("Demo");
    closedPort.port = "1";
    auto redirected = sandboxProfile("Demo", std::string(kSandboxPassword) + ";Database=master");
    for (const auto& p : {wrongPassword, unknownDatabase, emptyServer, closedPort, redirected}) {
        SCOPED_TRACE(build(p));
        EXPECT_FALSE(db::TestConnection(build(p), 5));
        boxes->shown.clear();
        pointerHistory.clear();
        shell::InteractiveConnectionTest(shell::BuildConnectionString(p), pointer, 5);
        ASSERT_EQ(boxes->shown.size(), 1u);
        const QStringList lines = boxes->shown[0].text.split('\n');
        ASSERT_GE(lines.size(), 2) << "the reason from the second line on";
        EXPECT_EQ(lines[0], "Could not connect. Please check with your administrator.");
        EXPECT_FALSE(lines[1].isEmpty());
        EXPECT_EQ(pointer.value(), shell::kPointerDefault) << "the pointer is back to normal";
    }
}

TEST_F(ConnectionChecks, TheServersOwnReasonIsShown) {
    shell::InteractiveConnectionTest(shell::BuildConnectionString(sandboxProfile("Demo", "nope")),
                                     pointer, 5);
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(boxes->shown[0].text.contains("Login failed for user 'sa'."))
        << boxes->shown[0].text.toStdString();
}

TEST_F(ConnectionChecks, AServerThatNeverAnswersFailsWithinTheLoginTimeout) {
    SilentListener silent;
    auto p = sandboxProfile("Demo");
    p.port = QString::fromStdString(silent.port());
    const auto started = std::chrono::steady_clock::now();
    auto failure = db::LoginFailure(build(p), 2);
    const auto took = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->find("did not answer"), std::string::npos) << *failure;
    EXPECT_LT(took, std::chrono::seconds(6));

    shell::InteractiveConnectionTest(shell::BuildConnectionString(p), pointer, 2);
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(boxes->shown[0].text.startsWith(shell::kCouldNotConnect));
    EXPECT_EQ(pointer.value(), shell::kPointerDefault);
}

TEST_F(ConnectionChecks, LocalConnectionIgnoresThePort) {
    auto p = sandboxProfile("Demo");
    p.localConnection = 1;
    p.server = "127.0.0.1," + p.port; // the instance named without a port field
    p.port = "not a port";
    EXPECT_TRUE(db::TestConnection(build(p), 10));
}
