// rowlark-dedupe: the duplicate-removal job from a terminal.
#include "options.h"
#include "terminal.h"

#include "db/connection.h"
#include "db/statement.h"
#include "dedupe/columns.h"
#include "dedupe/job.h"
#include "dedupe/sql_text.h"
#include "shell/connection_profile.h"

#include <QString>

#include <cstdlib>
#include <iostream>

using namespace rowlark;

namespace {

class ConsoleEvents : public dedupe::JobEvents {
public:
    explicit ConsoleEvents(bool bar) : bar_(bar) {}

    void progress(const dedupe::Progress& p) override {
        if (bar_) {
            std::cerr << "\r\033[K" << dedupe::phaseName(p.phase) << ": " << p.rowsRead
                      << " rows read, " << p.duplicates << " duplicates, " << p.deleted
                      << " deleted" << std::flush;
            if (p.phase == dedupe::Phase::Done) std::cerr << "\n";
        } else if (p.phase != lastPhase_) {
            std::cerr << dedupe::phaseName(p.phase) << " (" << p.rowsRead << " rows read, "
                      << p.duplicates << " duplicates, " << p.deleted << " deleted)\n";
        }
        lastPhase_ = p.phase;
    }
    void report(int line, const std::string& description) override {
        if (bar_) std::cerr << "\n";
        std::cerr << "rowlark-dedupe: step " << line << " failed: " << description << "\n";
    }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet>) override { shown = true; }

    bool none = false;
    bool shown = false;

private:
    bool bar_;
    std::optional<dedupe::Phase> lastPhase_;
};

int usageError(const std::string& what) {
    std::cerr << "rowlark-dedupe: " << what << "\n\n" << cli::kUsage;
    return 2;
}

bool sameName(const std::string& a, const std::string& b) {
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

} // namespace

int main(int argc, char** argv) {
    cli::Options o;
    try {
        o = cli::parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::invalid_argument& e) {
        return usageError(e.what());
    }
    if (o.help) {
        std::cout << cli::kUsage;
        return 0;
    }

    shell::ConnectionProfile p = shell::LoadStoredProfile();
    if (o.server) p.server = QString::fromStdString(*o.server);
    if (o.port) p.port = QString::fromStdString(*o.port);
    if (o.user) p.user = QString::fromStdString(*o.user);
    if (o.database) p.database = QString::fromStdString(*o.database);
    if (o.local) p.localConnection = 1;
    if (const char* pw = std::getenv("ROWLARK_PASSWORD"))
        p.password = QString::fromUtf8(pw);
    else if (p.password.isEmpty())
        if (auto typed = cli::promptPassword("Password for " + p.user.toStdString() + ": "))
            p.password = QString::fromStdString(*typed);

    const std::string newName = o.into ? *o.into : o.table + "2";
    if (auto why = dedupe::RefuseNewName(newName, o.table)) return usageError(*why);

    const std::string connectionString = shell::BuildConnectionString(p).toStdString();
    std::vector<std::string> columns, chosen;
    try {
        db::Connection c;
        c.setLoginTimeout(30);
        c.open(connectionString);
        columns = dedupe::ReadColumnNames(c, o.table);
    } catch (const db::OdbcError& e) {
        std::cerr << "rowlark-dedupe: " << e.description() << "\n";
        return 1;
    }
    if (columns.empty()) {
        std::cerr << "rowlark-dedupe: the database has no table named " << o.table << "\n";
        return 1;
    }
    for (const auto& wanted : o.columns) {
        auto it = std::find_if(columns.begin(), columns.end(),
                               [&](const std::string& c) { return sameName(c, wanted); });
        if (it == columns.end())
            return usageError("the table " + o.table + " has no column " + wanted);
        chosen.push_back(*it);
    }

    dedupe::JobSettings s;
    s.connectionString = connectionString;
    s.localConnection = p.localConnection == 1;
    s.selectedTable = o.table;
    s.allColumns = dedupe::bracketList(columns);
    s.duplicateColumns = dedupe::bracketList(chosen);
    s.newName = [&] { return newName; };
    ConsoleEvents events(cli::stderrIsTerminal());
    dedupe::JobOutcome out = dedupe::RunJob(s, events);

    if (events.none) {
        std::cout << "No duplicates found." << std::endl;
    } else {
        std::string rows = "?";
        try {
            db::Connection c;
            c.open(connectionString);
            db::Statement st(c);
            st.execute("SELECT COUNT_BIG(*) FROM " + dedupe::bracketed(newName));
            std::vector<db::Value> row;
            if (st.fetch(row) && row[0]) rows = *row[0];
        } catch (const db::OdbcError&) {
            rows = "no";
        }
        std::cout << "Read " << out.counts.rowsRead << " rows, removed " << out.counts.deleted
                  << " of " << out.counts.duplicates
                  << " duplicates: " << dedupe::bracketed(newName) << " holds " << rows << " rows."
                  << std::endl;
    }
    return out.failedSteps > 0 ? 1 : 0;
}
