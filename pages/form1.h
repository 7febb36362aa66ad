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
    // Opens and closes a connection with the fields' profile; false on any failure.
    bool TestConnection(int loginTimeout = 0);

    // True when the start-up went on to the table page.
    bool wentOnAtStart() const { return wentOn_; }

    QGroupBox* Frame1;
    QLabel *Label1, *Label2, *Label3, *Label4, *Label9;
    QLineEdit *Text1, *Text2, *Text3, *Text4, *Text9;
    QCheckBox* Check7;
    shell::PushButton *PushButton3, *PushButton4, *PushButton5;
    SkinFramework SkinFramework1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Check7_Click();
    bool wentOn_ = false;
};

extern const QString kHelpText;
extern const QString kHelpQuestion;

} // namespace rowlark::pages
