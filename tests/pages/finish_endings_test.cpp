// How the finish page ends, clicked as a user clicks: one plain line for every ending, a stop
// question that the job's end answers, a stalled server that one "Yes" leaves within seconds, and
// a page shown again that comes to the front.
#include "wizard_support.h"

#include "pages/finish_outcome.h"
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

// Records, with every box, what the progress line showed behind it.
class WatchingBoxes : public test::ScriptedMessageBoxes {
public:
    int show(const QString& text, int buttons, const QString& caption) override {
        progressBehind.push_back(page && page->Progress->isVisible() ? page->Progress->text()
                                                                     : QString());
        return ScriptedMessageBoxes::show(text, buttons, caption);
    }
    pages::Form4* page = nullptr;
    std::vector<QString> progressBehind;
};

// Every ending says, in a paragraph that wraps inside the page, which table the job ran on, what
// became of it (the server's reason, when a step failed) and that another table needs a new
// start; the name's frame says a name was given only when a table was made; the boxes that end
// the job stand beside the counts it reached.
TEST_F(FinishEndings, EveryEndingSaysWhatBecameOfWhichTableInALineThatIsNeverCut) {
    const QString wide = QString(110, 'W');
    connect(database())
        ->execute("IF OBJECT_ID('" + wide.toStdString() + "') IS NULL BEGIN " + "CREATE TABLE [" +
                  wide.toStdString() + "] (k int); INSERT INTO [" + wide.toStdString() +
                  "] VALUES (7), (7), (8) END");
    struct Case {
        QString table, column;
        QStringList says;
        bool made = false;
        QString progress; // behind the box that ends the job
        std::function<void()> before;
    };
    const std::vector<Case> cases = {
        {"Orders",
         "City",
         {"Orders: read 5 rows and removed 3 duplicate rows; Orders_1 holds the other 2."},
         true,
         {},
         {}},
        {"Unique1",
         "k",
         {"Unique1: no duplicates found in 2 rows; nothing was made."},
         false,
         "Read 2 rows: no duplicates",
         {}},
        // Another session drops the table between the pages and "Finish".
        {"Gone",
         "k",
         {"Gone: Gone_1 was not made: Invalid object name 'Gone'."},
         false,
         "Read 0 rows",
         [] { connect(database())->execute("DROP TABLE Gone"); }},
        // Names as long as a name may sensibly be, and no blank to break them at.
        {wide,
         "k",
         {wide + ": read 3 rows and removed 1 duplicate row; " + wide + "_1 holds the other 2."},
         true,
         {},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table.toStdString());
        TearDown();
        SetUp();
        auto watching = std::make_unique<WatchingBoxes>();
        auto* watch = watching.get();
        boxes = watching.get();
        shell::setMessageBoxes(std::move(watching));
        made_ = 0;
        auto& f4 = toFinishPage(c.table, c.column);
        watch->page = &f4;
        if (c.before) c.before();
        QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
        const QString line = f4.Label1->text();
        for (const QString& says : c.says)
            EXPECT_TRUE(line.contains(says)) << line.toStdString();
        EXPECT_TRUE(line.endsWith("To clean another table, start Rowlark again."))
            << line.toStdString();
        EXPECT_FALSE(line.contains("see the error")) << "the error is no longer shown";
        // Never cut: all of it inside the line's box, and the box above the name's frame.
        EXPECT_LE(f4.Label1->heightForWidth(f4.Label1->width()), f4.Label1->height());
        EXPECT_LE(f4.Label1->geometry().bottom(), f4.Frame1->geometry().top());
        EXPECT_LE(f4.Label1->geometry().right(), f4.width());
        EXPECT_GE(f4.DataGrid1->height(), 60) << "the grid keeps room for its rows";
        EXPECT_EQ(f4.Frame1->title(), c.made ? "The name given to the new table:"
                                             : "Please choose a name for this table:");
        EXPECT_EQ(f4.PushButton4->text(), "Exit");
        if (!c.progress.isEmpty()) {
            ASSERT_FALSE(watch->progressBehind.empty());
            EXPECT_EQ(watch->progressBehind.back(), c.progress);
        }
    }
}

// After a job, "< Back", another table and "Next >": the page still tells of the job that ran,
// the name box keeps the name that job used and takes no typing, and "Exit" stays.
TEST_F(FinishEndings, AfterAJobThePageStaysAboutThatJob) {
    auto& f4 = toFinishPage("Orders", "City");
    QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
    ASSERT_EQ(f4.PushButton4->text(), "Exit");
    QTest::mouseClick(f4.PushButton2, Qt::LeftButton);
    auto& f3 = wizard->form3();
    QTest::mouseClick(f3.PushButton2, Qt::LeftButton);
    selectTable("Unique1");
    QTest::mouseClick(wizard->form2().PushButton3, Qt::LeftButton);
    choose("k");
    QTest::mouseClick(f3.PushButton3, Qt::LeftButton);
    ASSERT_TRUE(f4.isVisible());
    EXPECT_TRUE(f4.Label1->text().startsWith("Orders: read 5 rows"))
        << f4.Label1->text().toStdString();
    EXPECT_TRUE(f4.Label1->text().contains("start Rowlark again"));
    EXPECT_EQ(f4.Text1->text(), "Orders_1");
    f4.Text1->setFocus();
    QTest::keyClick(f4.Text1, Qt::Key_End);
    QTest::keyClicks(f4.Text1, "x");
    QTest::keyClick(f4.Text1, Qt::Key_Backspace);
    EXPECT_EQ(f4.Text1->text(), "Orders_1") << "the name box takes no typing after a job";
    EXPECT_EQ(f4.PushButton4->text(), "Exit");
    QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(query(*connect(database()), "SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE "
                                          "TABLE_NAME = 'Unique12'"),
              (Rows{{"0"}}));
}

// The user closes the window and leaves "Stop the job?" open; the job ends meanwhile. The
// question goes, the program stays open, and the page says what was made.
TEST_F(FinishEndings, AJobThatEndsWhileStopIsAskedAnswersTheQuestion) {
    auto& f4 = toFinishPage("Orders", "City");
    auto control = connect(database());
    control->execute("SANDBOX FAULT DELAY 200");
    boxes->holdNextQuestion();
    once(
        &f4, [&] { return f4.jobRunning(); }, [&] { f4.close(); });
    QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
    control->execute("SANDBOX FAULT CLEAR");
    EXPECT_TRUE(boxes->dismissed()) << "the question was closed by the job's end";
    EXPECT_EQ(ended, 0) << "nothing was agreed to: the program stays on what was made";
    EXPECT_TRUE(f4.Label1->text().contains("Orders_1 holds the other 2."))
        << f4.Label1->text().toStdString();
}

// The server stalls in the job's login, or before its first answer; the user closes the window
// and says Yes: the program ends within a few seconds, with nothing made.
class StalledServer : public FinishEndings, public ::testing::WithParamInterface<const char*> {};

TEST_P(StalledServer, OneYesEndsTheJobWithinSeconds) {
    auto& f4 = toFinishPage("Orders", "Zip");
    QTemporaryDir logs;
    const QString log = logs.filePath("proxy.log");
    auto proxy = std::make_unique<ProxyProcess>(ROWLARK_TEST_SUPPORT_DIR, sandboxPort(),
                                                QStringList{"--stall", GetParam(), "--log", log});
    auto p = sandboxProfile(database());
    p.port = proxy->port();
    wizard->globals.ConnectionString = shell::BuildConnectionString(p);
    boxes->setNextAnswer(shell::kAnswerYes);
    QElapsedTimer clock;
    once(
        &f4, [&] { return proxyStalled(log); },
        [&] {
            clock.start();
            f4.close();
        });
    QTest::mouseClick(f4.PushButton4, Qt::LeftButton);
    proxy.reset();
    EXPECT_EQ(ended, 1);
    ASSERT_TRUE(clock.isValid()) << "the server never went silent";
    EXPECT_LT(clock.elapsed(), 3000) << "one Yes, at most three seconds";
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
    EXPECT_TRUE(f4.Label1->text().contains("Orders_1 holds the other 2."))
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

// A failure's reason in the outcome line: the server's words without the driver's prefixes, its
// first line, and no longer than the line can take.
TEST(FinishOutcome, AReasonIsTheServersMessageShortened) {
    using pages::ShortReason;
    EXPECT_EQ(ShortReason("[FreeTDS][SQL Server]Invalid object name 'Gone'."),
              "Invalid object name 'Gone'.");
    EXPECT_EQ(ShortReason("[unixODBC][FreeTDS][SQL Server]Write to the server failed\nmore"),
              "Write to the server failed");
    const QString longer = ShortReason("[FreeTDS][SQL Server]" +
                                       QString("The statement could not run because ").repeated(6));
    EXPECT_LE(longer.size(), 101);
    EXPECT_TRUE(longer.endsWith(QChar(0x2026))) << longer.toStdString();
    EXPECT_TRUE(longer.startsWith("The statement could not run"));
}
