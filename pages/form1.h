// Form1, the connection page: the live connection profile, its test, help, and "Next >".
#pragma once

#include "look.h"
#include "page.h"

#include "shell/connection_profile.h"
#include "shell/page_controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include <optional>
#include <string>

namespace rowlark::pages {

class Form1 : public Page {
    Q_OBJECT
public:
    explicit Form1(Wizard& wizard);

    void Form_Load();
    // "Test Connection", "Help", "Next >"
    void PushButton5_Click();
    void PushButton4_Click();
    void PushButton3_Click();

    // The live profile, read from the fields now.
    shell::ConnectionProfile profile() const;
    QString connectionString() const { return shell::BuildConnectionString(profile()); }
    // Opens and closes a connection with the fields' profile, off the window's thread; why it
    // failed, or nullopt when it worked.
    std::optional<std::string> LoginFailure(int loginTimeout);
    // The same, true when it worked.
    bool TestConnection(int loginTimeout = 0);

    // True when the start-up went on to the table page.
    bool wentOnAtStart() const { return wentOn_; }

    QGroupBox* Frame1;              // "MS SQL Server Login"
    QLabel* Label2;                 // "Server:"
    QLabel* Label9;                 // "Port:"
    QLabel* Label1;                 // "Username:"
    QLabel* Label4;                 // "Password:"
    QLabel* Label3;                 // "Database:"
    QLineEdit* Text1;               // the server (host, or host\instance)
    QLineEdit* Text9;               // the TCP port
    QLineEdit* Text2;               // the user name
    QLineEdit* Text3;               // the password, masked
    QLineEdit* Text4;               // the database
    QCheckBox* Check7;              // "Local Connection": the port is left out
    shell::PushButton* PushButton5; // "Test Connection"
    shell::PushButton* PushButton4; // "Help"
    shell::PushButton* PushButton3; // "Next >"
    SkinFramework SkinFramework1;   // the optional skin (x/o.cjs)

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Check7_Click();
    bool wentOn_ = false;
};

extern const QString kHelpText;
extern const QString kHelpQuestion;

} // namespace rowlark::pages
