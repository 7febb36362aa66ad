// The table, field and finish pages: from login to the new table in the grid.
#include "text_fit.h"
#include "wizard_support.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLocale>
#include <QStyle>
#include <QTimer>
#include <QToolTip>

#include <map>

#include "db/record_set_model.h"
#include "dedupe/sql_text.h"
#include "shell/grid_cells.h"
#include "shell/page_controls.h"
#include "support/silent_listener.h"

#include <QTest>

#include <thread>

using namespace rowlark;
using namespace rowlark::test;

namespace {

class WizardFlow : public WizardTest {
protected:
    static const std::string& database() {
        static const std::string name = [] {
            std::string n = freshDatabase("pages");
            connect(n)->execute(
                "CREATE TABLE Orders (Id int IDENTITY(1,1), City nvarchar(20), Zip varchar(5), "
                "Note nvarchar(20));"
                "INSERT INTO Orders (City, Zip, Note) VALUES (N'Bern', '3000', N'a'), (N'Chur', "
                "'7000', N'b'), "
                "(N'Bern', '3000', N'c'), (N'Bern', '3001', N'd'), (N'Chur', '7000', N'e');"
                "CREATE TABLE Unique1 (k int, v nvarchar(5)); INSERT INTO Unique1 VALUES (1, "
                "N'a'), (2, N'a');"
                "CREATE TABLE Other (City nvarchar(20), Extra int)");
            return n;
        }();
        return name;
    }
    void toFieldPage(const QString& table) {
        startOn(database());
        selectTable(table);
        wizard->form2().PushButton3_Click();
    }
};

} // namespace

TEST_F(WizardFlow, NoTableSelectedAsksForOne) {
    startOn(database());
    wizard->form2().PushButton3_Click();
    ASSERT_EQ(messages(), std::vector<QString>{"Please select a table"});
    EXPECT_FALSE(wizard->isLoaded(3));
    EXPECT_TRUE(wizard->globals.SelectedTable.isEmpty());
}

TEST_F(WizardFlow, TablePageFillsTheFieldPage) {
    toFieldPage("Orders");
    auto& f3 = wizard->form3();
    EXPECT_TRUE(boxes->shown.empty()) << boxes->shown[0].text.toStdString();
    EXPECT_TRUE(f3.isVisible());
    EXPECT_FALSE(wizard->form2().isVisible());
    EXPECT_EQ(wizard->globals.SelectedTable, "Orders");
    EXPECT_EQ(wizard->globals.AllColumns, (QStringList{"Id", "City", "Zip", "Note"}));
    EXPECT_EQ(items(*f3.List1), (QStringList{"Id", "City", "Zip", "Note"}));
    EXPECT_EQ(f3.List1->currentRow(), 0);
    ASSERT_NE(f3.DataGrid1->model(), nullptr);
    EXPECT_EQ(f3.DataGrid1->model()->columnCount(), 4);
    EXPECT_EQ(f3.DataGrid1->model()->rowCount(), 5);
    EXPECT_TRUE(f3.PushButton5->isEnabled());
    EXPECT_FALSE(f3.PushButton3->isEnabled()) << "nothing chosen yet";
    EXPECT_EQ(wizard->form2().MousePointer.value(), shell::kPointerDefault);
}

TEST_F(WizardFlow, MovesKeepEveryEntryInExactlyOneList) {
    toFieldPage("Orders");
    auto& f3 = wizard->form3();
    f3.List1->setCurrentRow(-1);
    f3.List1->clearSelection();
    f3.PushButton5_Click();
    EXPECT_EQ(messages(), std::vector<QString>{"Please select a field first."});
    choose("Zip");
    choose("City");
    EXPECT_EQ(items(*f3.List2), (QStringList{"Zip", "City"}));
    EXPECT_EQ(items(*f3.List1), (QStringList{"Id", "Note"}));
    EXPECT_TRUE(f3.PushButton3->isEnabled());
    f3.List2->setCurrentRow(0);
    f3.PushButton7_Click();
    EXPECT_EQ(items(*f3.List1), (QStringList{"Id", "Note", "Zip"}))
        << "a field goes back to the end";
    f3.PushButton6_Click();
    EXPECT_EQ(items(*f3.List2), (QStringList{"City", "Id", "Note", "Zip"}));
    EXPECT_FALSE(f3.PushButton5->isEnabled());
    EXPECT_FALSE(f3.PushButton6->isEnabled());
    f3.PushButton8_Click();
    EXPECT_EQ(items(*f3.List1), (QStringList{"City", "Id", "Note", "Zip"}));
    EXPECT_FALSE(f3.PushButton3->isEnabled());
    EXPECT_FALSE(f3.PushButton7->isEnabled());
    f3.PushButton8_Click(); // an empty list moves nothing
    EXPECT_EQ(f3.List1->count(), 4);
    f3.List1_DblClick(f3.List1->item(2));
    EXPECT_EQ(items(*f3.List2), QStringList{"Note"});
}

TEST_F(WizardFlow, ChosenFieldsSurviveBackAndAreNotListedAgain) {
    toFieldPage("Orders");
    choose("City");
    wizard->form3().PushButton2_Click();
    EXPECT_TRUE(wizard->form2().isVisible());
    wizard->form2().PushButton3_Click();
    auto& f3 = wizard->form3();
    EXPECT_EQ(items(*f3.List2), QStringList{"City"});
    EXPECT_EQ(items(*f3.List1), (QStringList{"Id", "Zip", "Note"}));
    EXPECT_EQ(wizard->globals.AllColumns, (QStringList{"Id", "City", "Zip", "Note"}));
    choose("Zip");
    f3.PushButton2_Click();
    selectTable("Other");
    wizard->form2().PushButton3_Click();
    EXPECT_EQ(items(*f3.List2), QStringList{"City"})
        << "City is a column of Other too; Zip is not, and goes";
    EXPECT_EQ(items(*f3.List1), QStringList{"Extra"});
    f3.PushButton3_Click();
    EXPECT_EQ(wizard->globals.DuplicateColumns, QStringList{"City"});
}

TEST_F(WizardFlow, AListingThatFailsKeepsOnlyWhatItRead) {
    startOn(database());
    auto& list = *wizard->form2().List1;
    list.addItem("from another database");
    auto control = connect(database());
    control->execute("SANDBOX FAULT DROP AFTER 1 ROWS");
    wizard->form1().PushButton3_Click();
    control->execute("SANDBOX FAULT CLEAR");
    EXPECT_FALSE(items(list).contains("from another database")) << "the list was cleared first";
    EXPECT_LE(list.count(), 1);
    ASSERT_FALSE(boxes->shown.empty());
    EXPECT_TRUE(boxes->shown[0].text.contains("Form1.PushButton3_Click at line 102"));
}

TEST_F(WizardFlow, TableWithoutCatalogueRowsLeavesTheFieldsEmpty) {
    startOn(database());
    wizard->form2().List1->addItem("Ghost");
    selectTable("Ghost");
    wizard->form2().PushButton3_Click();
    auto& f3 = wizard->form3();
    EXPECT_TRUE(f3.isVisible()) << "shown with whatever was filled";
    EXPECT_EQ(f3.List1->count(), 0);
    EXPECT_FALSE(f3.PushButton5->isEnabled());
    EXPECT_TRUE(wizard->globals.AllColumns.isEmpty());
    ASSERT_EQ(boxes->shown.size(), 1u) << "the preview's failure";
    EXPECT_TRUE(boxes->shown[0].text.contains("Invalid object name 'Ghost'."));
    EXPECT_TRUE(boxes->shown[0].text.contains("Form2.PushButton3_Click at line"));
}

TEST_F(WizardFlow, FinishBuildsTheNewTableAndShowsIt) {
    toFieldPage("Orders");
    choose("City");
    choose("Zip");
    wizard->form3().PushButton3_Click();
    auto& f4 = wizard->form4();
    EXPECT_EQ(wizard->globals.DuplicateColumns, (QStringList{"City", "Zip"}));
    EXPECT_TRUE(f4.isVisible());
    EXPECT_EQ(f4.Text1->text(), "Orders2");
    EXPECT_EQ(f4.PushButton4->text(), "Finish");
    EXPECT_EQ(f4.DataGrid1->dataSource(), nullptr);
    f4.PushButton4_Click();
    EXPECT_TRUE(boxes->shown.empty()) << boxes->shown[0].text.toStdString();
    EXPECT_EQ(f4.PushButton4->text(), "Exit");
    ASSERT_NE(f4.DataGrid1->model(), nullptr);
    EXPECT_EQ(f4.DataGrid1->model()->rowCount(), 3);
    EXPECT_TRUE(f4.Label1->text().contains("Orders: read 5 rows and removed 2 duplicate rows"));
    EXPECT_EQ(f4.MousePointer.value(), shell::kPointerDefault);
    EXPECT_TRUE(f4.PushButton2->isEnabled());
    EXPECT_TRUE(f4.Text1->isReadOnly()) << "one job a run: the name stays the one it used";
    EXPECT_EQ(query(*connect(database()), "SELECT Id, Note FROM Orders2"),
              (Rows{{"1", "a"}, {"2", "b"}, {"4", "d"}}));

    // Back and forward again: the name of the job, the old result, and "Exit" ends the program.
    f4.PushButton2_Click();
    wizard->form3().PushButton3_Click();
    EXPECT_EQ(f4.Text1->text(), "Orders2");
    EXPECT_EQ(f4.PushButton4->text(), "Exit");
    EXPECT_NE(f4.DataGrid1->model(), nullptr);
    f4.PushButton4_Click();
    EXPECT_EQ(ended, 1);
}

TEST_F(WizardFlow, NoDuplicatesSaysSoAndStillEndsWithExit) {
    toFieldPage("Unique1");
    choose("k");
    wizard->form3().PushButton3_Click();
    auto& f4 = wizard->form4();
    f4.PushButton4_Click();
    EXPECT_EQ(messages(), std::vector<QString>{"No duplicates found."});
    EXPECT_EQ(f4.PushButton4->text(), "Exit");
    EXPECT_EQ(f4.DataGrid1->dataSource(), nullptr);
}

TEST_F(WizardFlow, ARefusedNameKeepsFinish) {
    toFieldPage("Unique1");
    choose("v");
    wizard->form3().PushButton3_Click();
    auto& f4 = wizard->form4();
    f4.Text1->setText("UNIQUE1");
    f4.PushButton4_Click();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(boxes->shown[0].text.contains("never changed"));
    EXPECT_EQ(f4.PushButton4->text(), "Finish");
    EXPECT_EQ(query(*connect(database()), "SELECT count(*) FROM Unique1"), (Rows{{"2"}}));
}

TEST_F(WizardFlow, WindowKeepsPaintingDuringALongJob) {
    const std::string dbName = freshDatabase("heartbeat");
    {
        auto c = connect(dbName);
        c->execute(
            "CREATE TABLE Big (n int, k int, s nvarchar(20)); INSERT INTO Big VALUES (1, 1, N'x')");
        for (long have = 1; have < 200'000; have *= 2)
            c->execute("INSERT INTO Big SELECT TOP (" +
                       std::to_string(std::min(have, 200'000 - have)) + ") n + " +
                       std::to_string(have) + ", (n + " + std::to_string(have) +
                       ") % 150000, s FROM Big");
    }
    startOn(dbName);
    selectTable("Big");
    wizard->form2().PushButton3_Click();
    choose("k");
    choose("s");
    wizard->form3().PushButton3_Click();
    auto& f4 = wizard->form4();
    QElapsedTimer clock;
    qint64 last = 0, worst = 0;
    QString worstAfter; // what the progress said when the longest stretch ended
    int beats = 0;
    bool sawDisabled = false;
    QStringList texts;
    QTimer heartbeat;
    heartbeat.setInterval(10);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (beats++ && now - last > worst) {
            worst = now - last;
            worstAfter = f4.Progress->text();
        }
        last = now;
        sawDisabled = sawDisabled || (!f4.PushButton4->isEnabled() &&
                                      !f4.PushButton2->isEnabled() && f4.Text1->isReadOnly());
        if (f4.Progress->isVisible() && (texts.isEmpty() || texts.back() != f4.Progress->text()))
            texts << f4.Progress->text();
    });
    clock.start();
    heartbeat.start();
    f4.PushButton4_Click();
    heartbeat.stop();
    EXPECT_TRUE(boxes->shown.empty()) << boxes->shown[0].text.toStdString();
    EXPECT_EQ(f4.lastCounts().deleted, 50'000u);
    EXPECT_GT(beats, 10);
    EXPECT_LT(worst, 100) << "the longest stretch without the event loop, in ms, ended at \""
                          << worstAfter.toStdString() << "\"";
    EXPECT_TRUE(sawDisabled) << "Finish, < Back and the name are locked while the job runs";
    // The progress: one line that fits the bar in every phase, counts that never go back.
    ASSERT_GT(texts.size(), 2);
    const QFontMetrics metrics(f4.Progress->font());
    std::map<QString, qulonglong> highest;
    for (const QString& t : texts) {
        SCOPED_TRACE(t.toStdString());
        EXPECT_FALSE(t.isEmpty());
        EXPECT_FALSE(t.contains('\n'));
        EXPECT_LT(metrics.horizontalAdvance(t), f4.Progress->width() - 16);
        const QString phase = t.section(':', 0, 0);
        const qulonglong count = QLocale().toULongLong(t.section(':', 1).section(' ', 1, 1));
        EXPECT_GE(count, highest[phase]) << "counts never go back";
        highest[phase] = std::max(highest[phase], count);
    }
}

TEST_F(WizardFlow, ALongSessionLeaksNoConnections) {
    auto open = [&] {
        // the connection that asks counts itself
        return std::stoi(query(*connect(database()), "SANDBOX CONNECTIONS")[0][0]) - 1;
    };
    auto settle = [&](int expected) {
        int n = open();
        for (int i = 0; i < 50 && n != expected; ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            n = open();
        }
        return n;
    };
    const int baseline = settle(0);
    storeProfile(sandboxProfile(database()));
    int highest = 0;
    for (int run = 0; run < 5; ++run) {
        pages::Wizard w;
        w.startupLoginTimeout = 3;
        w.start();
        ASSERT_TRUE(w.isLoaded(2));
        for (const char* table : {"Other", "Orders"}) { // ten table changes in all
            auto found = w.form2().List1->findItems(table, Qt::MatchExactly);
            ASSERT_FALSE(found.isEmpty());
            w.form2().List1->setCurrentItem(found.front());
            w.form2().PushButton3_Click();
            highest = std::max(highest, open() - baseline);
            w.form3().PushButton2_Click();
        }
        w.form2().PushButton3_Click();
        auto& f3 = w.form3();
        f3.List1->setCurrentRow(1);
        f3.PushButton5_Click();
        f3.PushButton3_Click();
        w.form4().Text1->setText(QString("OrdersLong%1").arg(run));
        w.form4().PushButton4_Click();
        EXPECT_EQ(w.form4().PushButton4->text(), "Exit");
        highest = std::max(highest, open() - baseline);
    }
    EXPECT_LE(highest, 2) << "the preview and the result grid keep one connection each, no more";
    EXPECT_EQ(settle(baseline), baseline) << "every connection closed once its pages are gone";
}

TEST_F(WizardFlow, AServerThatGoesAwayDuringTheJobIsReportedAndEndsWithExit) {
    toFieldPage("Orders");
    choose("City");
    wizard->form3().PushButton3_Click();
    auto control = connect(database());
    control->execute("SANDBOX FAULT DROP ON 'INTO [#TEMP_TABLE_CREATED_BY_ORVANDEL'");
    auto& f4 = wizard->form4();
    f4.Text1->setText("Orders9");
    f4.PushButton4_Click();
    control->execute("SANDBOX FAULT CLEAR");
    ASSERT_FALSE(boxes->shown.empty());
    EXPECT_TRUE(boxes->shown[0].text.contains("Form4.PushButton4_Click at line 204"));
    for (const auto& b : boxes->shown)
        EXPECT_EQ(b.caption, "Application Error");
    EXPECT_EQ(f4.PushButton4->text(), "Exit");
    EXPECT_EQ(f4.MousePointer.value(), shell::kPointerDefault);
    EXPECT_EQ(query(*control, "SELECT count(*) FROM Orders"), (Rows{{"5"}}));
    EXPECT_EQ(query(*control, kWorkTablesLeft), Rows{});
    EXPECT_TRUE(f4.Label1->text().contains("Orders9 was not made"))
        << f4.Label1->text().toStdString();
    EXPECT_EQ(f4.DataGrid1->dataSource(), nullptr) << "no grid for a table that was not made";
}

TEST_F(WizardFlow, AnExistingTableIsReplacedOnlyAfterTheUserSaysYes) {
    auto control = connect(database());
    control->execute("CREATE TABLE OrdersKept (x int); INSERT INTO OrdersKept VALUES (42)");
    toFieldPage("Orders");
    choose("City");
    wizard->form3().PushButton3_Click();
    auto& f4 = wizard->form4();
    f4.Text1->setText("OrdersKept");
    f4.PushButton4_Click(); // the scripted answer is No
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_EQ(boxes->shown[0].text, "A table named OrdersKept already exists. Replace it?");
    EXPECT_EQ(boxes->shown[0].buttons, shell::kYesNo | shell::kQuestion | shell::kDefaultButton2)
        << "a question, and Enter keeps the table";
    EXPECT_EQ(f4.PushButton4->text(), "Finish") << "No goes back to the name";
    EXPECT_EQ(query(*control, "SELECT x FROM OrdersKept"), (Rows{{"42"}}));

    boxes->setNextAnswer(shell::kAnswerYes);
    f4.PushButton4_Click();
    EXPECT_EQ(f4.PushButton4->text(), "Exit");
    EXPECT_EQ(query(*control, "SELECT count(*) FROM OrdersKept"),
              query(*control, "SELECT count(*) FROM (SELECT DISTINCT City FROM Orders) d"));
    EXPECT_TRUE(f4.Label1->text().contains("OrdersKept holds the other"))
        << f4.Label1->text().toStdString();
}

TEST_F(WizardFlow, ALoginLostBetweenPagesIsReportedAndTheUserCanGoBack) {
    startOn(database());
    auto& f1 = wizard->form1();
    // As if the server had gone away after the table page was shown.
    QString& cs = wizard->globals.ConnectionString;
    cs.replace("," + f1.Text9->text() + ";", ",1;");
    ASSERT_TRUE(cs.contains(",1;")) << cs.toStdString();
    selectTable("Orders");
    wizard->form2().PushButton3_Click();
    ASSERT_FALSE(boxes->shown.empty());
    EXPECT_TRUE(boxes->shown[0].text.contains("Form2.PushButton3_Click at line 108"));
    EXPECT_EQ(wizard->form2().MousePointer.value(), shell::kPointerDefault);
    // Back on the connection page the login is mended, and the way forward works again.
    wizard->form3().PushButton2_Click();
    wizard->form2().PushButton2_Click();
    EXPECT_TRUE(f1.isVisible());
    boxes->shown.clear();
    f1.PushButton3_Click();
    selectTable("Orders");
    wizard->form2().PushButton3_Click();
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(items(*wizard->form3().List1).size(), 4);
}

// The server goes away while a grid still has rows to read: scrolling on keeps what the grid
// shows, says so once, and the program goes on.
TEST_F(WizardFlow, AGridWhoseConnectionDropsKeepsItsRowsAndSaysSoOnce) {
    auto control = connect(database());
    control->execute("IF OBJECT_ID('Many') IS NULL BEGIN CREATE TABLE Many (n int); INSERT INTO "
                     "Many VALUES (1); END");
    for (int i = 0; i < 10; ++i)
        control->execute("IF (SELECT count(*) FROM Many) < 1000 INSERT INTO Many SELECT n + "
                         "(SELECT count(*) FROM Many) FROM Many");
    auto c = std::make_shared<db::Connection>();
    c->setCursorLocation(db::CursorLocation::Server);
    c->open(connectionString(database()));
    control->execute("SANDBOX FAULT DROP AFTER 300 ROWS");
    auto rs = std::make_shared<db::RecordSet>();
    // Wide rows: the 300 that come before the server goes span many packets.
    rs->open("SELECT n, N'" + std::string(200, 'w') + "' AS pad FROM Many", *c);
    rs->holdConnection(c);
    control->execute("SANDBOX FAULT CLEAR");
    shell::DataGrid grid;
    grid.resize(300, 200);
    grid.setDataSource(rs);
    grid.show();
    for (int i = 0; i < 20; ++i) {
        grid.scrollToBottom();
        QCoreApplication::processEvents();
    }
    auto* model = static_cast<db::RecordSetModel*>(grid.model());
    EXPECT_TRUE(model->readFailed());
    EXPECT_GE(model->rowCount(), 256) << "the rows read before stay";
    EXPECT_FALSE(model->canFetchMore({}));
    ASSERT_EQ(boxes->shown.size(), 1u) << "said once";
    EXPECT_TRUE(boxes->shown[0].text.startsWith("The grid could not read more rows"));
}

// Closing the window while a job runs asks first; on "Yes" the running statement is cancelled, the
// job cleans up, and only then does the program end, with nothing made and the source as it was.
TEST_F(WizardFlow, ClosingTheWindowDuringAJobAsksAndStopsItCleanly) {
    toFieldPage("Orders");
    choose("City");
    wizard->form3().PushButton3_Click();
    auto& f4 = wizard->form4();
    f4.Text1->setText("OrdersStopped");
    auto control = connect(database());
    control->execute("SANDBOX FAULT DELAY 300");
    boxes->setNextAnswer(shell::kAnswerNo);
    boxes->setNextAnswer(shell::kAnswerYes);
    // While the job runs: No, and the job goes on; then Yes, and it stops.
    once(
        &f4, [&] { return f4.jobRunning(); },
        [&] {
            f4.close();
            once(
                &f4, [&] { return f4.jobRunning(); }, [&] { f4.close(); });
        });
    QElapsedTimer clock;
    clock.start();
    f4.PushButton4_Click();
    control->execute("SANDBOX FAULT CLEAR");
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_EQ(boxes->shown[0].text, "Stop the job? The table you chose stays as it is.");
    EXPECT_EQ(boxes->shown[0].buttons, shell::kYesNo | shell::kQuestion | shell::kDefaultButton2)
        << "Enter lets the job go on";
    EXPECT_EQ(ended, 1) << "the program ends once the job has cleaned up";
    EXPECT_LT(clock.elapsed(), 5000) << "the statement was cancelled, not waited for";
    EXPECT_EQ(query(*control, "SELECT count(*) FROM Orders"), (Rows{{"5"}}));
    EXPECT_EQ(query(*control, "SELECT count(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = "
                              "'OrdersStopped'"),
              (Rows{{"0"}}));
}

// While a login test waits, clicks on the page are held back: a second "Test Connection" or a
// "Help" does not run inside the first one's wait.
TEST_F(WizardFlow, ClicksDuringAWaitAreHeldBack) {
    SilentListener silent;
    wizard->start();
    wizard->loginTimeout = 2;
    auto& f1 = wizard->form1();
    auto p = sandboxProfile(database());
    p.port = QString::fromStdString(silent.port());
    fillLogin(p);
    f1.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f1));
    // Clicks while the login waits on the silent server (the busy pointer shows it).
    once(
        &f1, [&] { return f1.MousePointer.value() == shell::kPointerBusy; },
        [&] {
            QTest::mouseClick(f1.PushButton5, Qt::LeftButton);
            QTest::mouseClick(f1.PushButton4, Qt::LeftButton);
            QTest::mouseClick(f1.PushButton3, Qt::LeftButton);
        });
    QTest::mouseClick(f1.PushButton5, Qt::LeftButton);
    ASSERT_EQ(boxes->shown.size(), 1u) << "one test, one box";
    EXPECT_TRUE(boxes->shown[0].text.startsWith("Could not connect."));
    QTest::mouseClick(f1.PushButton4, Qt::LeftButton);
    EXPECT_EQ(boxes->shown.size(), 3u) << "after the wait, clicks work again (Help: two boxes)";
}

// With the font the pages ask for actually resolved (Arial, or Liberation Sans, its metric twin),
// every label, check box, frame title and button text fits its box on every page.
TEST_F(WizardFlow, EveryTextFitsItsBoxOnEveryPage) {
    const QString family = QFontInfo(shell::Arial(9, false)).family();
    if (family != "Arial" && family != "Liberation Sans")
        GTEST_SKIP() << "Arial resolves to " << family.toStdString()
                     << ": install fonts-liberation2 (./test.sh does)";
    toFieldPage("Orders");
    choose("City");
    wizard->form3().PushButton3_Click();
    for (QWidget* page : std::initializer_list<QWidget*>{&wizard->form1(), &wizard->form2(),
                                                         &wizard->form3(), &wizard->form4()}) {
        for (const auto& t : test::textRooms(*page))
            EXPECT_LE(t.need, t.room)
                << page->metaObject()->className() << ": \"" << t.text.toStdString() << "\" needs "
                << t.need << " of " << t.room;
    }
    // A label ends before the field it names begins.
    auto& f1 = wizard->form1();
    for (auto [label, field] : {std::pair{f1.Label2, f1.Text1}, std::pair{f1.Label9, f1.Text9},
                                std::pair{f1.Label1, f1.Text2}, std::pair{f1.Label3, f1.Text4}}) {
        const int textEnd =
            label->x() + QFontMetrics(label->font()).horizontalAdvance(label->text());
        EXPECT_LT(textEnd + 2, field->x()) << label->text().toStdString();
    }
}

// The table page takes the keyboard with no table chosen: no table looks chosen (the list has no
// current row to draw as one), and "Next >" still asks for one; a click chooses for real.
TEST_F(WizardFlow, TheTablePageShowsNoChoiceItDoesNotHave) {
    startOn(database());
    auto& f2 = wizard->form2();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f2));
    f2.List1->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(f2.List1->hasFocus());
    QCoreApplication::processEvents();
    EXPECT_FALSE(f2.List1->currentIndex().isValid())
        << "row " << f2.List1->currentRow() << " is drawn as current but not chosen";
    EXPECT_TRUE(f2.List1->selectedItems().isEmpty());
    QTest::mouseClick(f2.PushButton3, Qt::LeftButton);
    EXPECT_EQ(messages(), std::vector<QString>{"Please select a table"});
    const auto found = f2.List1->findItems("Unique1", Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty());
    QTest::mouseClick(f2.List1->viewport(), Qt::LeftButton, {},
                      f2.List1->visualItemRect(found.front()).center());
    QCoreApplication::processEvents();
    EXPECT_EQ(f2.List1->currentItem(), found.front());
    EXPECT_TRUE(found.front()->isSelected());
    QTest::keyClick(f2.List1, Qt::Key_Down);
    QCoreApplication::processEvents();
    ASSERT_NE(f2.List1->currentItem(), nullptr);
    EXPECT_TRUE(f2.List1->currentItem()->isSelected()) << "a key chooses the row it moves to";
    QTest::mouseClick(f2.PushButton3, Qt::LeftButton);
    EXPECT_TRUE(wizard->form3().isVisible());
}

// The grids show a float by its shortest exact text, a datetime2 with its time, every column as
// wide as its values (up to a limit), and the whole value as a tooltip.
TEST_F(WizardFlow, GridValuesCanBeReadWhole) {
    connect(database())
        ->execute("IF OBJECT_ID('Readings') IS NULL BEGIN "
                  "CREATE TABLE Readings (g float, taken datetime2(7), note nvarchar(400)); "
                  "INSERT INTO Readings VALUES (9.80665, '2024-06-01 12:34:56.1234567', N'" +
                  std::string(300, 'n') + "'), (0.1, '2024-06-01 12:34:56.1234568', N'short') END");
    toFieldPage("Readings");
    auto& grid = *wizard->form3().DataGrid1;
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(grid.window()));
    auto* cells = dynamic_cast<shell::GridCells*>(grid.itemDelegate());
    ASSERT_NE(cells, nullptr);
    // What a cell paints (the grid's delegate draws that text), and the width the text takes.
    auto shown = [&](int row, int column) {
        const QString text = cells->shown(grid.model()->index(row, column));
        return std::pair{text, QFontMetrics(grid.font()).horizontalAdvance(text)};
    };
    EXPECT_EQ(shown(0, 0).first, "9.80665");
    EXPECT_EQ(shown(1, 0).first, "0.1");
    EXPECT_TRUE(shown(0, 1).first.startsWith("2024-06-01 12:34:56.123456"))
        << shown(0, 1).first.toStdString();
    for (int c : {0, 1})
        for (int r : {0, 1})
            EXPECT_LT(shown(r, c).second, grid.columnWidth(c))
                << "column " << c << " cuts row " << r;
    EXPECT_LE(grid.columnWidth(2), grid.width() * 2 / 3) << "no column wider than the limit";
    // The long note is cut in its cell; its tooltip holds all of it.
    const QRect cell = grid.visualRect(grid.model()->index(0, 2));
    QHelpEvent help(QEvent::ToolTip, cell.center(), grid.viewport()->mapToGlobal(cell.center()));
    QCoreApplication::sendEvent(grid.viewport(), &help);
    QTRY_COMPARE(QToolTip::text(), QString(300, 'n'));
    const QRect first = grid.visualRect(grid.model()->index(0, 0));
    QHelpEvent onFloat(QEvent::ToolTip, first.center(),
                       grid.viewport()->mapToGlobal(first.center()));
    QCoreApplication::sendEvent(grid.viewport(), &onFloat);
    QTRY_COMPARE(QToolTip::text(), QString("9.80665"));
}
