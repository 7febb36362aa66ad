#include "form1.h"

#include "catalogue.h"
#include "form2.h"
#include "wizard.h"

#include "db/connection_check.h"
#include "shell/background.h"
#include "shell/connection_test_dialog.h"
#include "shell/error_report.h"
#include "shell/message_boxes.h"
#include "shell/settings_store.h"

#include <QDesktopServices>
#include <QEvent>
#include <QUrl>

namespace rowlark::pages {

using namespace shell;

const QString kHelpText =
    "If you cannot establish connection to your MS SQL Server database with this program, please "
    "go to: \r\r"
    "https://www.sqlmanager.net/products/mssql/manager/download\r\r"
    "Download and install the EMS SQL Manager 2005 Lite for SQL Server. Try to connect to "
    "the same database (with the same login information you are using here). This will determine "
    "if "
    "the login you are using is correct.\r\r"
    "If you are using Microsoft SQL Server Express Edition and connecting locally, you may need to "
    "use\r\r"
    "localhost\\SQLEXPRESS\r\r"
    "for example, for Server.";
const QString kHelpQuestion = "Would you like to see an image of how I connect locally?";

Form1::Form1(Wizard& wizard) : Page(wizard, 8040, 3960) {
    setFont(Arial(9, false));
    Frame1 = new QGroupBox("MS SQL Server Login", this);
    Frame1->setGeometry(twips(120, 120, 7800, 3195));
    auto label = [&](const QString& text, QRect r) {
        auto* l = new QLabel(text, Frame1);
        l->setGeometry(r);
        return l;
    };
    auto field = [&](QRect r) {
        auto* t = new QLineEdit(Frame1);
        t->setGeometry(r);
        t->installEventFilter(this);
        return t;
    };
    Label2 = label("Server:", twips(240, 405, 1095, 255));
    Text1 = field(twips(1320, 360, 4575, 345));
    Label9 = label("Port:", twips(6120, 405, 495, 255));
    Text9 = field(twips(6600, 360, 975, 345));
    Label1 = label("Username:", twips(240, 885, 1095, 255));
    Text2 = field(twips(1320, 840, 6255, 345));
    Label4 = label("Password:", twips(240, 1365, 1095, 255));
    Text3 = field(twips(1320, 1320, 6255, 345));
    Text3->setEchoMode(QLineEdit::Password);
    Text3->setAttribute(Qt::WA_InputMethodEnabled, false);
    Label3 = label("Database:", twips(240, 1845, 975, 255));
    Text4 = field(twips(1320, 1800, 6255, 345));
    Check7 = new QCheckBox("Local Connection", Frame1);
    Check7->setGeometry(twips(1320, 2250, 1950, 255));
    PushButton5 = new PushButton("Test Connection", Frame1);
    PushButton5->setGeometry(twips(240, 2610, 3600, 405));
    PushButton4 = new PushButton("Help", Frame1);
    PushButton4->setGeometry(twips(3960, 2610, 3600, 405));
    PushButton3 = new PushButton("Next >", this);
    PushButton3->setGeometry(twips(120, 3440, 7800, 405));
    for (QWidget* w :
         std::initializer_list<QWidget*>{Frame1, Label1, Label2, Label3, Label4, Label9, Text1,
                                         Text2, Text3, Text4, Text9, Check7})
        w->setFont(Arial(9, true));
    paintWhite(*this);

    QWidget::setTabOrder(Text1, Text9);
    QWidget::setTabOrder(Text9, Text2);
    QWidget::setTabOrder(Text2, Text3);
    QWidget::setTabOrder(Text3, Text4);
    QWidget::setTabOrder(Text4, PushButton5);
    QWidget::setTabOrder(PushButton5, PushButton4);
    QWidget::setTabOrder(PushButton4, Check7);
    QWidget::setTabOrder(Check7, PushButton3);

    // Every change of a field is stored at once, keystroke by keystroke.
    auto store = [](QLineEdit* t, const QString& key) {
        connect(t, &QLineEdit::textChanged, t,
                [key](const QString& text) { SaveSetting(kAppName, kProductName, key, text); });
    };
    store(Text1, kKeyServer);
    store(Text2, kKeyUser);
    store(Text3, kKeyPassword);
    store(Text4, kKeyDatabase);
    store(Text9, kKeyPort);
    connect(Check7, &QCheckBox::stateChanged, this, [this] { Check7_Click(); });
    connect(PushButton5, &QPushButton::clicked, this, [this] { PushButton5_Click(); });
    connect(PushButton4, &QPushButton::clicked, this, [this] { PushButton4_Click(); });
    connect(PushButton3, &QPushButton::clicked, this, [this] { PushButton3_Click(); });

    for (QWidget* b : {static_cast<QWidget*>(PushButton5), static_cast<QWidget*>(PushButton4),
                       static_cast<QWidget*>(PushButton3)})
        hoverAsButton(b);
    for (QWidget* w : std::initializer_list<QWidget*>{Frame1, Text1, Text2, Text3, Text4, Text9})
        hoverAsBackground(w);
    for (QWidget* w :
         std::initializer_list<QWidget*>{Label1, Label2, Label3, Label4, Label9, Check7})
        hoverLeavesPointer(w);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // Entering a field selects its whole text, so typing replaces it.
    if (event->type() == QEvent::FocusIn)
        if (auto* t = qobject_cast<QLineEdit*>(watched)) t->selectAll();
    return Page::eventFilter(watched, event);
}

void Form1::Check7_Click() {
    SaveSetting(kAppName, kProductName, kKeyLocalConnection,
                LocalConnectionSetting(Check7->isChecked() ? 1 : 0));
}

ConnectionProfile Form1::profile() const {
    ConnectionProfile p;
    p.localConnection = Check7->isChecked() ? 1 : 0;
    p.server = Text1->text();
    p.port = Text9->text();
    p.user = Text2->text();
    p.password = Text3->text();
    p.database = Text4->text();
    return p;
}

std::optional<std::string> Form1::LoginFailure(int loginTimeout) {
    const std::string cs = connectionString().toStdString();
    return RunInBackground([&] { return db::LoginFailure(cs, loginTimeout); });
}

bool Form1::TestConnection(int loginTimeout) {
    return !LoginFailure(loginTimeout);
}

void Form1::Form_Load() {
    Trap trap(HandlerLocation("Form1", "Form_Load"));
    trap.step(100, [&] { ApplySkin(*this, SkinFramework1); });
    trap.step(104, [&] {
        setWindowTitle(kProductName);
        setWindowIcon(programIcon());
        SetApplicationTitle(kProductName);
    });
    const QString cursorFile = programFolder() + "/HAND-M.CUR";
    if (FileExists(cursorFile)) trap.step(126, [&] { setMouseIcon(loadHandCursor(cursorFile)); });
    // The stored profile, read the one way every part of the program reads it.
    ConnectionProfile stored;
    trap.step(128, [&] {
        stored = LoadStoredProfile();
        Text1->setText(stored.server);
    });
    trap.step(130, [&] { Text2->setText(stored.user); });
    trap.step(132, [&] { Text3->setText(stored.password); });
    trap.step(134, [&] { Text4->setText(stored.database); });
    trap.step(136, [&] { Text9->setText(stored.port); });
    trap.step(138, [&] { Check7->setChecked(stored.localConnection == 1); });
    centre();
    if (trap.condition(140, [&] {
            return !Text1->text().isEmpty() && !Text2->text().isEmpty() &&
                   !Text3->text().isEmpty() && !Text4->text().isEmpty();
        })) {
        // The page is on screen and painting while a stored login is tried, briefly.
        show();
        MousePointer.set(kPointerBusy);
        bool works = false;
        trap.condition(142, [&] { return works = TestConnection(wizard_.startupLoginTimeout); });
        MousePointer.set(kPointerDefault);
        if (works) {
            wentOn_ = true;
            PushButton3_Click();
        }
    }
    if (!wentOn_) show();
}

void Form1::PushButton5_Click() {
    InteractiveConnectionTest(connectionString(), MousePointer, wizard_.loginTimeout);
}

void Form1::PushButton4_Click() {
    Trap trap(HandlerLocation("Form1", "PushButton4_Click"));
    trap.step(114, [&] { MsgBox(kHelpText); });
    int answer = kAnswerNo;
    trap.step(116, [&] { answer = MsgBox(kHelpQuestion, kYesNo); });
    if (answer != kAnswerYes) return;
    trap.step(118, [&] {
        if (!QDesktopServices::openUrl(
                QUrl::fromLocalFile(programFolder() + "/local-connection-example.jpg")))
            throw std::runtime_error("The picture viewer could not be started.");
    });
}

void Form1::PushButton3_Click() {
    Trap trap(HandlerLocation("Form1", "PushButton3_Click"));
    std::optional<std::string> failure;
    trap.step(100, [&] {
        MousePointer.set(kPointerBusy);
        failure = LoginFailure(wizard_.loginTimeout);
        MousePointer.set(kPointerDefault);
    });
    if (failure) {
        MsgBox(CouldNotConnect(*failure));
        return;
    }
    Globals& g = wizard_.globals;
    g.ConnectionString = connectionString();
    g.LocalConnection = Check7->isChecked();
    trap.step(102, [&] { ReadTables(g.Tables, g.ConnectionString); });
    trap.step(104, [&] { wizard_.form2().enter(); });
    trap.step(106, [&] { hide(); });
}

} // namespace rowlark::pages
