// The error report's text and the step runner's continuation rules.
#include "shell/error_report.h"
#include "shell/message_boxes.h"
#include "shell/support_address.h"
#include "support/scripted_message_boxes.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace rowlark::shell;
using rowlark::test::ScriptedMessageBoxes;

namespace {

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto b = std::make_unique<ScriptedMessageBoxes>();
        boxes = b.get();
        setMessageBoxes(std::move(b));
    }
    ScriptedMessageBoxes* boxes = nullptr;
};

} // namespace

TEST(ErrorReportText, ExactBlocks) {
    const QString location = HandlerLocation("Form1", "PushButton3_Click");
    EXPECT_EQ(location, "in Tessaly2021/08/31.Form1.PushButton3_Click ");
    EXPECT_EQ(ErrorReportText("[FreeTDS][SQL Server]Invalid object name 'x'.", location, 102),
              "[FreeTDS][SQL Server]Invalid object name 'x'.\r\nin "
              "Tessaly2021/08/31.Form1.PushButton3_Click at line "
              "102\r\rPlease email screenshot of this message to " +
                  SupportContact());
}

// The address is the build's (ROWLARK_SUPPORT_ADDRESS); a build that names none says so in the
// report instead of naming an address that reaches nobody.
TEST(ErrorReportText, AsksForTheBuildsSupportAddressOrSaysThereIsNone) {
    const QString report = ErrorReportText("x", HandlerLocation("Form1", "Form_Load"), 100);
    EXPECT_FALSE(report.contains(".example")) << report.toStdString();
    const QString configured = QString(ROWLARK_SUPPORT_ADDRESS).trimmed();
    EXPECT_EQ(SupportAddress(), configured);
    if (configured.isEmpty()) {
        EXPECT_TRUE(report.endsWith("names no support address)")) << report.toStdString();
        EXPECT_FALSE(report.contains('@'));
    } else {
        EXPECT_TRUE(report.endsWith("Please email screenshot of this message to " + configured));
    }
}

TEST_F(ReportTest, FailingStepIsReportedAndTheNextRuns) {
    Trap trap(HandlerLocation("Form2", "PushButton3_Click"));
    std::vector<int> ran;
    trap.step(100, [&] { ran.push_back(100); });
    trap.step(102, [&] { throw std::runtime_error("first"); });
    trap.step(104, [&] { ran.push_back(104); });
    trap.step(106, [&] { throw std::runtime_error("second"); });
    EXPECT_EQ(ran, (std::vector<int>{100, 104}));
    ASSERT_EQ(boxes->shown.size(), 2u) << "one report per failing step, in step order";
    EXPECT_TRUE(boxes->shown[0].text.startsWith(
        "first\r\nin Tessaly2021/08/31.Form2.PushButton3_Click at line 102\r\r"));
    EXPECT_TRUE(boxes->shown[1].text.contains("at line 106"));
    EXPECT_EQ(boxes->shown[0].buttons, kExclamation);
    EXPECT_EQ(boxes->shown[0].caption, "Application Error");
    EXPECT_EQ(trap.failures(), 2);
}

TEST_F(ReportTest, FailedConditionCountsAsPassedFailedLoopTestEndsTheLoop) {
    Trap trap(HandlerLocation("Form1", "Form_Load"));
    EXPECT_TRUE(
        trap.condition(140, []() -> bool { throw std::runtime_error("field unreadable"); }));
    EXPECT_FALSE(trap.condition(140, [] { return false; }));
    int rounds = 0;
    while (trap.loopTest(170, [&]() -> bool {
        if (rounds == 3) throw std::runtime_error("row count unreadable");
        return true;
    }))
        ++rounds;
    EXPECT_EQ(rounds, 3);
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_TRUE(boxes->shown[0].text.contains("at line 140"));
    EXPECT_TRUE(boxes->shown[1].text.contains("at line 170"));
}

TEST_F(ReportTest, MessagesCarryTheApplicationTitleUnlessCaptioned) {
    SetApplicationTitle("Rowlark");
    EXPECT_EQ(applicationTitle(), "Rowlark") << "a name without a blank stays whole";
    MsgBox("Please select a table");
    boxes->setNextAnswer(kAnswerYes);
    EXPECT_EQ(MsgBox("Go on?", kYesNo), kAnswerYes);
    EXPECT_EQ(MsgBox("Again?", kYesNo), kAnswerNo);
    ASSERT_EQ(boxes->shown.size(), 3u);
    EXPECT_EQ(boxes->shown[0].caption, "Rowlark");
    EXPECT_EQ(boxes->shown[0].buttons, kOkOnly);
}

TEST(ApplicationTitle, CutBeforeTheLastBlankUntilFortyOrFewer) {
    const QString thirtyEight = "Abcdefghij Abcdefghij Abcdefghij Abcde"; // 38 characters
    ASSERT_EQ(thirtyEight.size(), 38);
    EXPECT_EQ(ShortenedTitle(thirtyEight + " Tools"), thirtyEight);
    EXPECT_EQ(ShortenedTitle("Short Name"), "Short") << "the cut runs at least once";
    EXPECT_EQ(ShortenedTitle("Aaaaaaaaaa Bbbbbbbbbb Cccccccccc Dddddddddd Eeeeeeeeee"),
              "Aaaaaaaaaa Bbbbbbbbbb Cccccccccc");
    EXPECT_EQ(ShortenedTitle("Rowlark"), "Rowlark");
}
