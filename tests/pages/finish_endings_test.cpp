// How the finish page ends, clicked as a user clicks: one plain line for every ending, a stop
// question that the job's end answers, a stalled server that one "Yes" leaves within seconds, and
// a page shown again that comes to the front.
#include "wizard_support.h"

#include "support/proxy_process.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QProcess>
#include <QTest>
#include <QTimer>

using namespace rowlark;
using namespace rowlark::test;

namespace {

class FinishEndings : public WizardTest {
protected:
    static const std::string& database() {
        static const std::string name = [] {
            std::string n = freshDatabase("endings");
            connect(n)->execute(
                "CREATE TABLE Orders (City nvarchar(20), Zip varchar(5));"
                "INSERT INTO Orders VALUES (N'Bern', '3000'), (N'Chur', '7000'), (N'Bern', '3000'),"
                " (N'Bern', '3001'), (N'Chur', '7000');"
                "CREATE TABLE Unique1 (k int); INSERT INTO Unique1 VALUES (1), (2);"
                "CREATE TABLE Gone (k int); INSERT INTO Gone VALUES (1), (1)");
            return n;
        }();
        return name;
    }
    // Through the pages to the finish page, with the first column chosen.
    pages::Form4& toFinishPage(const QString& table, const QString& column) {
        startOn(database());
        selectTable(table);
        QTest::mouseClick(wizard->form2().PushButton3, Qt::LeftButton);
        choose(column);
        QTest::mouseClick(wizard->form3().PushButton3, Qt::LeftButton);
        auto& f4 = wizard->form4();
        f4.Text1->setText(table + "_" + QString::number(++made_));
        return f4;
    }
    int made_ = 0;
};

} // namespace

TEST_F(FinishEndings, EveryEndingLeavesOnePlainLineAndNoNameQuestionAboveIt) {
    struct Case {
        QString table, column, says;
        std::function<void()> before;
    };
    const std::vector<Case> cases = {
        {"Orders",
         "City",
         "Read 5 rows and removed 3 duplicates into Orders_1, which holds 2 rows.",
         {}},
        {"Unique1", "k", "No duplicates found in 2 rows: nothing was made.", {}},
        // Another session drops the table between the pages and "Finish".
        {"Gone", "k", "Gone_1 was not made: a step failed",
         [] { connect(database())->execute("DROP TABLE Gone"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        TearDown();
        SetUp();
        made_ = 0;
        auto& f4 = toFinishPage(c.table, c.column);
        if (c.before) c.before();
        QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
        EXPECT_TRUE(f4.Label1->text().contains(c.says)) << f4.Label1->text().toStdString();
        EXPECT_NE(f4.Frame1->title(), "Please choose a name for this table:");
        EXPECT_EQ(f4.PushButton4->text(), "Exit");
    }
}

// The user closes the window and leaves "Stop the job?" open; the job ends meanwhile. The
// question goes, the program stays open, and the page says what was made.
TEST_F(FinishEndings, AJobThatEndsWhileStopIsAskedAnswersTheQuestion) {
    auto& f4 = toFinishPage("Orders", "City");
    auto control = connect(database());
    control->execute("SANDBOX FAULT DELAY 200");
    boxes->holdNextQuestion();
    QTimer::singleShot(300, &f4, [&] { f4.close(); });
    QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
    control->execute("SANDBOX FAULT CLEAR");
    EXPECT_TRUE(boxes->dismissed()) << "the question was closed by the job's end";
    EXPECT_EQ(ended, 0) << "nothing was agreed to: the program stays on what was made";
    EXPECT_TRUE(f4.Label1->text().contains("into Orders_1, which holds 2 rows"))
        << f4.Label1->text().toStdString();
}

// The server stalls in the job's login, or before its first answer; the user closes the window
// and says Yes: the program ends within a few seconds, with nothing made.
class StalledServer : public FinishEndings, public ::testing::WithParamInterface<const char*> {};

TEST_P(StalledServer, OneYesEndsTheJobWithinSeconds) {
    auto& f4 = toFinishPage("Orders", "Zip");
    auto proxy = std::make_unique<ProxyProcess>(ROWLARK_TEST_SUPPORT_DIR, sandboxPort(),
                                                QStringList{"--stall", GetParam()});
    auto p = sandboxProfile(database());
    p.port = proxy->port();
    wizard->globals.ConnectionString = shell::BuildConnectionString(p);
    boxes->setNextAnswer(shell::kAnswerYes);
    QTimer::singleShot(1500, &f4, [&] { f4.close(); });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
    proxy.reset();
    EXPECT_EQ(ended, 1);
    EXPECT_LT(clock.elapsed(), 6000) << "one Yes, a few seconds";
    EXPECT_EQ(query(*connect(database()), "SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE "
                                          "TABLE_NAME = 'Orders_1'"),
              (Rows{{"0"}}));
}

INSTANTIATE_TEST_SUITE_P(Phases, StalledServer, ::testing::Values("1:1", "1:2"),
                         [](const auto& info) {
                             return std::string(info.param[2] == '1' ? "InTheLogin"
                                                                     : "BeforeTheFirstAnswer");
                         });

// The server commits and its answer is lost with the connection: the page asks again and says
// what was made, with the new table in the grid, as after any made table.
TEST_F(FinishEndings, ALostAnswerToTheCommitIsToldAsWhatTheServerHolds) {
    auto& f4 = toFinishPage("Orders", "City");
    ProxyProcess proxy(ROWLARK_TEST_SUPPORT_DIR, sandboxPort(), {"--cut-commit", "answer"});
    auto p = sandboxProfile(database());
    p.port = proxy.port();
    wizard->globals.ConnectionString = shell::BuildConnectionString(p);
    QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
    EXPECT_TRUE(f4.Label1->text().contains("into Orders_1, which holds 2 rows"))
        << f4.Label1->text().toStdString();
    ASSERT_NE(f4.DataGrid1->model(), nullptr);
    EXPECT_EQ(f4.DataGrid1->model()->rowCount(), 2);
    EXPECT_EQ(boxes->shown.size(), 0u) << "no error was reported";
    EXPECT_EQ(f4.PushButton4->text(), "Exit");
}

// "< Back" on the table page brings the connection page to the front, with the keyboard.
TEST_F(FinishEndings, APageShownAgainComesToTheFront) {
    startOn(database());
    auto& f2 = wizard->form2();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f2));
    QTest::mouseClick(f2.PushButton2, Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&wizard->form1()));
    EXPECT_EQ(QApplication::activeWindow(), &wizard->form1());
}
