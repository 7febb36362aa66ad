// The wizard's pages, offscreen, against the sandbox, with scripted message boxes and a
// settings folder of the test's own.
#pragma once

#include "sandbox/odbc_support.h"

#include "pages/form1.h"
#include "pages/form2.h"
#include "pages/form3.h"
#include "pages/form4.h"
#include "pages/look.h"
#include "pages/wizard.h"
#include "shell/message_boxes.h"
#include "shell/settings_store.h"
#include "support/scripted_message_boxes.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

namespace rowlark::test {

// Does `act` once `ready` holds, as the page's event loops find it (checked every 10 ms while a
// handler waits, as a user's action would come): the tests act on a state, never after a pause.
inline void once(QObject* context, std::function<bool()> ready, std::function<void()> act) {
    auto* timer = new QTimer(context);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, context, [timer, ready, act] {
        if (!ready()) return;
        timer->stop();
        timer->deleteLater();
        act();
    });
    timer->start();
}

// Whether the proxy's log (stalling_proxy.py --log) says it has gone silent.
inline bool proxyStalled(const QString& log) {
    QFile f(log);
    return f.open(QIODevice::ReadOnly) && f.readAll().contains("stalled");
}

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("ROWLARK_SETTINGS_DIR", settings.path().toLocal8Bit());
        shell::setSettingsStore(std::make_unique<shell::QSettingsStore>());
        auto b = std::make_unique<test::ScriptedMessageBoxes>();
        boxes = b.get();
        shell::setMessageBoxes(std::move(b));
        pages::Page::endProgram = [this] { ++ended; };
        pages::setProgramFolder(folder.path());
        wizard = std::make_unique<pages::Wizard>();
        wizard->startupLoginTimeout = 3;
    }
    void TearDown() override {
        wizard.reset();
        pages::setProgramFolder({});
        shell::setSettingsStore(nullptr);
    }

    // Stores a login as the connection page would have, for the next start.
    void storeProfile(const shell::ConnectionProfile& p) {
        using namespace shell;
        SaveSetting(kAppName, kProductName, kKeyServer, p.server);
        SaveSetting(kAppName, kProductName, kKeyPort, p.port);
        SaveSetting(kAppName, kProductName, kKeyUser, p.user);
        SaveSetting(kAppName, kProductName, kKeyPassword, p.password);
        SaveSetting(kAppName, kProductName, kKeyDatabase, p.database);
        SaveSetting(kAppName, kProductName, kKeyLocalConnection,
                    LocalConnectionSetting(p.localConnection));
    }
    // Types a login into the connection page's fields.
    void fillLogin(const shell::ConnectionProfile& p) {
        auto& f1 = wizard->form1();
        f1.Text1->setText(p.server);
        f1.Text9->setText(p.port);
        f1.Text2->setText(p.user);
        f1.Text3->setText(p.password);
        f1.Text4->setText(p.database);
    }
    QString stored(const QString& key) {
        return shell::GetSetting(shell::kAppName, shell::kProductName, key, "<missing>");
    }

    static QStringList items(const QListWidget& list) {
        QStringList out;
        for (int i = 0; i < list.count(); ++i)
            out << list.item(i)->text();
        return out;
    }
    std::vector<QString> messages() const {
        std::vector<QString> out;
        for (const auto& m : boxes->shown)
            out.push_back(m.text);
        return out;
    }
    // Starts with a working stored login to the database: the table page comes up listing it.
    void startOn(const std::string& database) {
        storeProfile(sandboxProfile(database));
        wizard->start();
        ASSERT_TRUE(wizard->isLoaded(2))
            << (boxes->shown.empty() ? "" : boxes->shown[0].text.toStdString());
    }
    void selectTable(const QString& name) {
        auto found = wizard->form2().List1->findItems(name, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << name.toStdString();
        wizard->form2().List1->setCurrentItem(found.front());
    }
    void choose(const QString& field) {
        auto& f3 = wizard->form3();
        auto found = f3.List1->findItems(field, Qt::MatchExactly);
        ASSERT_FALSE(found.isEmpty()) << field.toStdString();
        f3.List1->setCurrentItem(found.front());
        f3.PushButton5_Click();
    }

    QTemporaryDir settings, folder;
    test::ScriptedMessageBoxes* boxes = nullptr;
    std::unique_ptr<pages::Wizard> wizard;
    int ended = 0;
};

} // namespace rowlark::test
