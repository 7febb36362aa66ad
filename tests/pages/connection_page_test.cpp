// The connection page, start-up, the table catalogue and the look of the pages.
#include "wizard_support.h"

#include "shell/connection_test_dialog.h"
#include "support/rendered.h"
#include "support/silent_listener.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <chrono>

using namespace rowlark;
using namespace rowlark::test;
using shell::kKeyLocalConnection;
using shell::kKeyPort;
using shell::kKeyServer;

TEST_F(WizardTest, FirstRunShowsEmptyFieldsAndStoresOnlyThePort) {
    wizard->start();
    auto& f1 = wizard->form1();
    EXPECT_TRUE(f1.isVisible());
    EXPECT_EQ(f1.windowTitle(), "Rowlark");
    EXPECT_EQ(f1.Text1->text(), "");
    EXPECT_EQ(f1.Text2->text(), "");
    EXPECT_EQ(f1.Text3->text(), "");
    EXPECT_EQ(f1.Text4->text(), "");
    EXPECT_EQ(f1.Text9->text(), "1433");
    EXPECT_FALSE(f1.Check7->isChecked());
    EXPECT_EQ(stored(kKeyPort), "1433");
    EXPECT_EQ(stored(kKeyServer), "<missing>");
    EXPECT_EQ(stored(kKeyLocalConnection), "<missing>");
    EXPECT_FALSE(wizard->isLoaded(2)) << "no connection is attempted";
    EXPECT_TRUE(boxes->shown.empty());
}

TEST_F(WizardTest, AStoredServerThatNeverAnswersShowsTheConnectionPageInTime) {
    SilentListener silent;
    auto p = sandboxProfile("Demo");
    p.port = QString::fromStdString(silent.port());
    storeProfile(p);
    wizard->startupLoginTimeout = 2;
    const auto started = std::chrono::steady_clock::now();
    wizard->start();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
    EXPECT_TRUE(wizard->form1().isVisible());
    EXPECT_FALSE(wizard->isLoaded(2));
    EXPECT_EQ(wizard->form1().MousePointer.value(), shell::kPointerDefault);
}

TEST_F(WizardTest, StartUpWaitsAsLongAsTestConnectionDoes) {
    EXPECT_EQ(pages::Wizard().startupLoginTimeout, 15);
}

TEST_F(WizardTest, LayoutNamesFontsAndTabOrder) {
    wizard->start();
    auto& f1 = wizard->form1();
    EXPECT_EQ(f1.size(), QSize(536, 264)) << "8040 x 3960 twips";
    EXPECT_EQ(f1.Frame1->title(), "MS SQL Server Login");
    EXPECT_EQ(f1.Frame1->geometry(), QRect(8, 8, 520, 213));
    EXPECT_EQ(f1.Text1->geometry(), QRect(88, 24, 305, 23));
    EXPECT_EQ(f1.PushButton3->geometry(), QRect(8, 229, 520, 27));
    EXPECT_EQ(f1.PushButton5->text(), "Test Connection");
    EXPECT_EQ(f1.Text3->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(f1.Label2->font().bold());
    EXPECT_DOUBLE_EQ(f1.PushButton3->font().pointSizeF(), 11.25);
    EXPECT_FALSE(f1.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f1.windowFlags() & Qt::WindowMinimizeButtonHint);
    std::vector<QWidget*> expected = {f1.Text1,       f1.Text9,  f1.Text2,
                                      f1.Text3,       f1.Text4,  f1.PushButton5,
                                      f1.PushButton4, f1.Check7, f1.PushButton3};
    QWidget* w = f1.Text1;
    for (QWidget* e : expected) {
        EXPECT_EQ(w, e);
        do
            w = w->nextInFocusChain();
        while (!(w->focusPolicy() & Qt::TabFocus));
    }
}

TEST_F(WizardTest, EveryKeystrokeAndClickIsStored) {
    wizard->start();
    auto& f1 = wizard->form1();
    f1.show();
    f1.Text1->setFocus();
    QTest::keyClicks(f1.Text1, "db1");
    EXPECT_EQ(stored(kKeyServer), "db1");
    QTest::keyClick(f1.Text1, Qt::Key_Backspace);
    EXPECT_EQ(stored(kKeyServer), "db");
    f1.Text9->setText("");
    EXPECT_EQ(stored(kKeyPort), "") << "an emptied port stays empty";
    f1.Check7->click();
    EXPECT_EQ(stored(kKeyLocalConnection), "1");
    f1.Check7->click();
    EXPECT_EQ(stored(kKeyLocalConnection), "0");
    EXPECT_EQ(f1.Text9->text(), "") << "the port field keeps its text either way";
}

TEST_F(WizardTest, EnteringAFieldSelectsItsText) {
    wizard->start();
    auto& f1 = wizard->form1();
    f1.show();
    QApplication::setActiveWindow(&f1);
    f1.Text2->setText("someone");
    f1.Text1->setFocus();
    QTest::keyClick(f1.Text1, Qt::Key_Tab);
    EXPECT_EQ(f1.Text9->selectedText(), "1433");
    QTest::keyClicks(f1.Text9, "9");
    EXPECT_EQ(f1.Text9->text(), "9") << "typing replaces the whole value";
}

TEST_F(WizardTest, StoredLocalConnectionTextOtherThanZeroLoadsCheckedAndIsRewritten) {
    shell::SaveSetting(shell::kAppName, shell::kProductName, kKeyLocalConnection, "yes");
    wizard->start();
    EXPECT_TRUE(wizard->form1().Check7->isChecked());
    EXPECT_EQ(stored(kKeyLocalConnection), "1");
}

TEST_F(WizardTest, WorkingStoredLoginOpensOnTheTablePage) {
    startOn("Demo");
    EXPECT_TRUE(wizard->form2().isVisible());
    EXPECT_FALSE(wizard->form1().isVisible());
    EXPECT_EQ(items(*wizard->form2().List1),
              (QStringList{"Customers", "Orders", "Physics", "SensorReadings"}));
    wizard->form2().PushButton2_Click();
    EXPECT_TRUE(wizard->form1().isVisible()) << "< Back shows the connection page";
    EXPECT_TRUE(wizard->form2().isVisible()) << "and leaves the table page behind it";
    EXPECT_EQ(wizard->form1().Text4->text(), "Demo");
}

TEST_F(WizardTest, UnreachableStoredLoginShowsTheConnectionPageSilently) {
    auto p = sandboxProfile("Demo");
    p.port = "1";
    storeProfile(p);
    wizard->start();
    EXPECT_TRUE(wizard->form1().isVisible());
    EXPECT_FALSE(wizard->isLoaded(2));
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_EQ(wizard->form1().MousePointer.value(), shell::kPointerDefault);
}

TEST_F(WizardTest, StoredLoginWithoutPasswordIsNotTried) {
    auto p = sandboxProfile("Demo");
    p.password = "";
    storeProfile(p);
    wizard->start();
    EXPECT_FALSE(wizard->isLoaded(2));
}

TEST_F(WizardTest, NextWithEmptyServerSaysItCouldNotConnect) {
    wizard->start();
    wizard->form1().PushButton3_Click();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(boxes->shown[0].text.startsWith(shell::kCouldNotConnect));
    EXPECT_FALSE(wizard->isLoaded(2));
    EXPECT_TRUE(wizard->form1().isVisible());
}

TEST_F(WizardTest, CatalogueKeepsTablesWithoutSysInTheirNames) {
    const std::string dbName = freshDatabase("catalogue");
    connect(dbName)->execute(
        "CREATE TABLE sysdiagrams (a int); CREATE TABLE Systems (a int); CREATE TABLE MySysLog (a "
        "int); "
        "CREATE TABLE EasySync (a int); CREATE TABLE Physics (a int); CREATE TABLE Analysis (a "
        "int); "
        "CREATE TABLE Sysdata (a int); CREATE VIEW AView AS SELECT a FROM Physics");
    startOn(dbName);
    auto& list = *wizard->form2().List1;
    EXPECT_EQ(items(list), (QStringList{"Analysis", "Physics"}));
    wizard->form1().PushButton3_Click();
    EXPECT_EQ(items(list), (QStringList{"Analysis", "Physics"})) << "cleared first, not doubled";
}

TEST_F(WizardTest, NextWithALoginThatFailsSaysWhyAndChangesNothing) {
    wizard->start();
    auto& f1 = wizard->form1();
    fillLogin(sandboxProfile("Demo"));
    wizard->form2().List1->addItem("earlier");
    f1.Text4->setText("NoSuchDatabase");
    f1.PushButton3_Click();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(boxes->shown[0].text.startsWith(
        "Could not connect. Please check with your administrator.\n"));
    EXPECT_TRUE(boxes->shown[0].text.contains("NoSuchDatabase")) << "the server's reason";
    EXPECT_EQ(items(*wizard->form2().List1), QStringList{"earlier"});
    EXPECT_FALSE(wizard->form2().isVisible());
}

TEST_F(WizardTest, TestConnectionButtonSaysHowItWent) {
    wizard->start();
    auto& f1 = wizard->form1();
    fillLogin(sandboxProfile("Demo"));
    f1.PushButton5_Click();
    f1.Text9->setText("1");
    f1.PushButton5_Click();
    ASSERT_EQ(messages().size(), 2u);
    EXPECT_EQ(messages()[0], "Connection successful.");
    EXPECT_TRUE(
        messages()[1].startsWith("Could not connect. Please check with your administrator.\n"));
    EXPECT_EQ(f1.MousePointer.value(), shell::kPointerDefault);
    EXPECT_FALSE(f1.cursor().shape() == Qt::WaitCursor);
}

TEST_F(WizardTest, HelpShowsTheTextAndAsksAboutThePicture) {
    wizard->start();
    wizard->form1().PushButton4_Click();
    ASSERT_EQ(boxes->shown.size(), 2u);
    EXPECT_TRUE(boxes->shown[0].text.startsWith(
        "If you cannot establish connection to your MS SQL Server database "
        "with this program, please go to: \r\r"));
    EXPECT_TRUE(
        boxes->shown[0].text.contains("\r\rlocalhost\\SQLEXPRESS\r\rfor example, for Server."));
    EXPECT_FALSE(boxes->shown[0].text.contains('\n')) << "carriage returns only";
    EXPECT_EQ(boxes->shown[0].caption, "Rowlark");
    EXPECT_EQ(boxes->shown[1].text, "Would you like to see an image of how I connect locally?");
    EXPECT_EQ(boxes->shown[1].buttons, shell::kYesNo);
}

TEST_F(WizardTest, ClosingAPageEndsTheProgram) {
    wizard->start();
    wizard->form1().close();
    EXPECT_EQ(ended, 1);
}

// Real mouse moves, through the window system's dispatch: over a push button the hand, over a
// label or the check box the pointer as it was, over a field the arrow; the hourglass stays.
TEST_F(WizardTest, HoverRulesFollowRealMouseMoves) {
    wizard->start();
    auto& f1 = wizard->form1();
    f1.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f1));
    auto moveOver = [](QWidget* w) { QTest::mouseMove(w, w->rect().center()); };
    moveOver(f1.PushButton5);
    EXPECT_EQ(f1.MousePointer.value(), shell::kPointerCustom);
    EXPECT_EQ(f1.cursor().shape(), f1.hasMouseIcon() ? Qt::BitmapCursor : Qt::ArrowCursor);
    moveOver(f1.Label2);
    EXPECT_EQ(f1.MousePointer.value(), shell::kPointerCustom) << "a label leaves the pointer";
    moveOver(f1.Check7);
    EXPECT_EQ(f1.MousePointer.value(), shell::kPointerCustom) << "so does the check box";
    moveOver(f1.Text1);
    EXPECT_EQ(f1.MousePointer.value(), shell::kPointerDefault);
    moveOver(f1.PushButton3);
    EXPECT_EQ(f1.MousePointer.value(), shell::kPointerCustom);
    moveOver(f1.Frame1);
    EXPECT_EQ(f1.MousePointer.value(), shell::kPointerDefault);
    f1.MousePointer.set(shell::kPointerBusy);
    moveOver(f1.PushButton3);
    moveOver(f1.Text1);
    EXPECT_EQ(f1.MousePointer.value(), shell::kPointerBusy);
    EXPECT_EQ(f1.cursor().shape(), Qt::WaitCursor);
}

TEST_F(WizardTest, AListsItemsRunTheBackgroundRule) {
    startOn("Demo");
    auto& f2 = wizard->form2();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f2));
    QTest::mouseMove(f2.PushButton3, f2.PushButton3->rect().center());
    EXPECT_EQ(f2.MousePointer.value(), shell::kPointerCustom);
    QWidget* items = f2.List1->viewport();
    QTest::mouseMove(items, items->rect().center());
    EXPECT_EQ(f2.MousePointer.value(), shell::kPointerDefault);
}

TEST_F(WizardTest, ColoursWithoutTheSkinFile) {
    wizard->start();
    auto& f1 = wizard->form1();
    const QColor white(Qt::white);
    EXPECT_TRUE(test::looksLike(test::shownColour(f1), white));
    EXPECT_TRUE(test::looksLike(test::shownColour(*f1.Frame1), white));
    EXPECT_TRUE(test::looksLike(test::shownColour(*f1.Check7), white));
    EXPECT_TRUE(test::looksLike(test::shownColour(wizard->form2()), pages::buttonFace()))
        << "loading it colours it";
    EXPECT_TRUE(test::looksLike(test::shownColour(*wizard->form2().Frame1), pages::buttonFace()));
}

TEST_F(WizardTest, SkinFileSwitchesTheConnectionPagesColours) {
    QDir(folder.path()).mkpath("x");
    QFile skin(folder.filePath("x/o.cjs"));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { font-style: italic; }");
    skin.close();
    wizard->start();
    auto& f1 = wizard->form1();
    EXPECT_TRUE(boxes->shown.empty());
    EXPECT_TRUE(test::looksLike(test::shownColour(f1), pages::buttonFace()));
    for (QWidget* w : std::initializer_list<QWidget*>{f1.Frame1, f1.Label1, f1.Label9, f1.Check7})
        EXPECT_TRUE(test::looksLike(test::shownColour(*w), pages::buttonFace()))
            << w->objectName().toStdString();
    EXPECT_FALSE(test::looksLike(test::shownColour(*f1.Text1), pages::buttonFace()))
        << "text boxes keep their colours";
    EXPECT_TRUE(test::looksLike(test::shownColour(*f1.PushButton3), QColor(Qt::white)));
    EXPECT_TRUE(f1.PushButton3->font().italic()) << "the skin's rules apply";
}

TEST_F(WizardTest, SkinThatIsAFolderCountsAsAbsentUnreadableSkinIsReported) {
    QDir(folder.path()).mkpath("x/o.cjs");
    wizard->start();
    EXPECT_TRUE(test::looksLike(test::shownColour(wizard->form1()), QColor(Qt::white)));
    EXPECT_TRUE(boxes->shown.empty());

    QDir(folder.filePath("x")).rmdir("o.cjs");
    QFile skin(folder.filePath("x/o.cjs"));
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.close();
    skin.setPermissions(QFileDevice::Permissions{});
    pages::Wizard second;
    second.start();
    if (::geteuid() != 0) { // root reads whatever the permissions say
        ASSERT_EQ(boxes->shown.size(), 1u);
        EXPECT_TRUE(
            boxes->shown[0].text.contains("in Tessaly2021/08/31.Form1.Form_Load at line 100"));
        EXPECT_TRUE(test::looksLike(test::shownColour(second.form1()), pages::buttonFace()))
            << "the colours switch before the skin loads";
    }
}

TEST_F(WizardTest, HandCursorFileThatIsNoCursorIsReportedMissingOneIsNot) {
    wizard->start();
    EXPECT_FALSE(wizard->form1().hasMouseIcon());
    EXPECT_TRUE(boxes->shown.empty());
    QFile bad(folder.filePath("HAND-M.CUR"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a cursor");
    bad.close();
    pages::Wizard second;
    second.start();
    ASSERT_EQ(boxes->shown.size(), 1u);
    EXPECT_TRUE(boxes->shown[0].text.contains("Form1.Form_Load at line 126"));
    EXPECT_FALSE(second.form1().hasMouseIcon());
    second.form1().MousePointer.set(shell::kPointerCustom);
    EXPECT_EQ(second.form1().cursor().shape(), Qt::ArrowCursor) << "the standard arrow shows";
}
