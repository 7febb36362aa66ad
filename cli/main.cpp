// rowlark-dedupe: the duplicate-removal job from a terminal.
#include "options.h"
#include "signals.h"
#include "summary.h"
#include "terminal.h"

#include "db/connection.h"
#include "db/statement.h"
#include "dedupe/columns.h"
#include "dedupe/job.h"
#include "dedupe/sql_text.h"
#include "dedupe/survey.h"
#include "shell/connection_profile.h"

#include <QString>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>

using namespace rowlark;

namespace {

class ConsoleEvents : public dedupe::JobEvents {
public:
    ConsoleEvents(bool bar, bool replace) : bar_(bar), replace_(replace) {}

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
        failed.push_back({line, description});
    }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet>) override { shown = true; }
    bool replaceExisting(const std::string&) override {
        asked = true;
        return replace_;
    }

    bool none = false;
    bool shown = false;
    bool asked = false;
    std::vector<cli::FailedStep> failed;

private:
    bool bar_;
    bool replace_;
    std::optional<dedupe::Phase> lastPhase_;
};

int usageError(const std::string& what) {
    std::cerr << "rowlark-dedupe: " << what << "\nTry 'rowlark-dedupe --help'.\n";
    return 2;
}

std::string joined(const std::vector<std::string>& names) {
    std::string out;
    for (const auto& n : names)
        out += (out.empty() ? "" : ", ") + n;
    return out;
}

// The name the user typed, as the database spells it; an error text when it means none or many.
std::optional<std::string> resolve(const std::vector<std::string>& names, const std::string& typed,
                                   const std::string& what, std::string& error) {
    auto r = dedupe::ResolveName(names, typed);
    if (r.unique()) return r.matches.front();
    error = r.matches.empty()
                ? what + " " + typed
                : typed + " could mean any of " + joined(r.matches) + ": please spell it exactly";
    return std::nullopt;
}

// The stored password goes only to the login it was stored with.
bool sameLogin(const shell::ConnectionProfile& a, const shell::ConnectionProfile& b) {
    return a.server.compare(b.server, Qt::CaseInsensitive) == 0 && a.port == b.port &&
           a.user == b.user;
}

int stopped(int signal, bool bar) {
    if (bar) std::cerr << "\n";
    std::cerr << "rowlark-dedupe: stopped by " << (signal == SIGINT ? "SIGINT" : "SIGTERM")
              << "; the table chosen is as it was, and no new table was made.\n";
    return 128 + signal;
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
    if (o.version) {
        std::cout << "rowlark-dedupe " << ROWLARK_VERSION << "\n";
        return 0;
    }

    const shell::ConnectionProfile stored = shell::LoadStoredProfile();
    shell::ConnectionProfile p = stored;
    if (o.server) p.server = QString::fromStdString(*o.server);
    if (o.port) p.port = QString::fromStdString(*o.port);
    if (o.user) p.user = QString::fromStdString(*o.user);
    if (o.database) p.database = QString::fromStdString(*o.database);
    if (o.local) p.localConnection = 1;
    if (o.noLocal) p.localConnection = 0;
    if (p.server.trimmed().isEmpty())
        return usageError("no server: give --server HOST (no login is stored)");
    if (const char* pw = std::getenv("ROWLARK_PASSWORD"))
        p.password = QString::fromUtf8(pw);
    else if (sameLogin(p, stored) && !stored.password.isEmpty())
        p.password = stored.password;
    else if (auto typed = cli::promptPassword("Password for " + p.user.toStdString() + ": "))
        p.password = QString::fromStdString(*typed);
    else
        return usageError("no password: set ROWLARK_PASSWORD");

    const std::string newName = o.into ? *o.into : o.table + "2";
    if (auto why = dedupe::RefuseNewName(newName, o.table)) return usageError(*why);

    auto cancel = std::make_shared<db::CancelSwitch>();
    cli::SignalWatcher watcher(*cancel);
    const bool bar = cli::stderrIsTerminal() && !o.json;
    const std::string connectionString = shell::BuildConnectionString(p).toStdString();
    std::string table;
    std::vector<std::string> chosen;
    auto failed = [&](const db::OdbcError& e) {
        if (watcher.caught()) return stopped(watcher.caught(), false);
        std::cerr << "rowlark-dedupe: " << e.description() << "\n";
        return 1;
    };
    // One connection finds the names and, for a dry run, reads the keys; the job opens its own.
    auto c = std::make_unique<db::Connection>();
    try {
        c->setCancelSwitch(cancel);
        c->setLoginTimeout(db::kDefaultLoginTimeout);
        c->open(connectionString);
        std::string error;
        auto found =
            resolve(dedupe::ReadTableNames(*c), o.table, "the database has no table named", error);
        if (!found) return usageError(error);
        table = *found;
        const auto columns = dedupe::ReadColumnNames(*c, table);
        for (const auto& wanted : o.columns) {
            auto column = resolve(columns, wanted, "the table " + table + " has no column", error);
            if (!column) return usageError(error);
            chosen.push_back(*column);
        }
    } catch (const db::OdbcError& e) {
        return failed(e);
    }
    if (auto why = dedupe::RefuseNewName(newName, table)) return usageError(*why);

    if (o.dryRun) {
        try {
            const auto survey = dedupe::SurveyDuplicates(*c, table, chosen);
            if (o.json)
                cli::printSurveyJson(std::cout, table, survey);
            else
                cli::printSurvey(std::cout, table, survey);
        } catch (const db::OdbcError& e) {
            return failed(e);
        }
        return 0;
    }
    c.reset();

    dedupe::JobSettings s;
    s.connectionString = connectionString;
    s.localConnection = p.localConnection == 1;
    s.selectedTable = table;
    s.duplicateColumns = chosen;
    s.newName = [&] { return newName; };
    if (o.memoryLimit) s.memoryBudget = *o.memoryLimit;
    s.cancel = cancel;
    ConsoleEvents events(bar, o.replace);
    cli::RunSummary summary;
    summary.table = table;
    summary.newTable = newName;
    summary.outcome = dedupe::RunJob(s, events);
    summary.noDuplicates = events.none;
    summary.failed = events.failed;
    const dedupe::JobOutcome& out = summary.outcome;

    if (watcher.caught() && !out.newTableMade) return stopped(watcher.caught(), bar);
    if (o.json) cli::printSummaryJson(std::cout, summary);
    if (out.refusal) {
        std::cerr << "rowlark-dedupe: " << *out.refusal;
        if (events.asked && !o.replace) std::cerr << " Give --replace to replace it.";
        std::cerr << "\n";
        return 2;
    }
    if (out.failedSteps > 0) {
        std::cerr << "rowlark-dedupe: " << out.failedSteps
                  << (out.failedSteps == 1 ? " step" : " steps") << " failed; "
                  << (out.newTableMade ? "the new table was made, but check the errors above."
                                       : "no new table was made.")
                  << "\n";
        return 1;
    }
    if (!o.json) cli::printSummary(std::cout, summary);
    return 0;
}
