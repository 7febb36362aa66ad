// rowlark-dedupe: the duplicate-removal job from a terminal.
#include "connection_place.h"
#include "options.h"
#include "progress_line.h"
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

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <thread>

using namespace rowlark;

namespace {

// Seconds a catalogue look-up may wait for the server; the job's own statements may run long.
constexpr int kLookupTimeout = 30;

class ConsoleEvents : public dedupe::JobEvents {
public:
    ConsoleEvents(cli::ProgressLine& line, bool replace, std::string place)
        : line_(line), replace_(replace), place_(std::move(place)) {}

    void progress(const dedupe::Progress& p) override {
        commit = p.commit;
        line_.show(p);
    }
    void report(int line, const std::string& description) override {
        // The job's own login says where it tried, as the look-ups' does.
        const std::string text = line == 122 || line == 124
                                     ? place_ + ": " + cli::driverWords(description)
                                     : description;
        line_.message("rowlark-dedupe: step " + std::to_string(line) + " failed: " + text);
        failed.push_back({line, text});
    }
    void notice(const std::string& text) override {
        line_.message("rowlark-dedupe: note: " + text);
        notices.push_back(text);
    }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet>) override {}
    bool wantsResult() const override { return false; } // nothing here shows the new table
    bool replaceExisting(const std::string&) override {
        asked = true;
        return replace_;
    }

    bool none = false;
    bool asked = false;
    std::vector<cli::FailedStep> failed;
    std::vector<std::string> notices;
    // Read by the signal watcher when it has to say the last words itself.
    std::atomic<dedupe::Progress::Commit> commit{dedupe::Progress::Commit::NotYet};

private:
    cli::ProgressLine& line_;
    bool replace_;
    std::string place_;
};

// A signal is ending the process and saying so: nothing more may be printed, and main must not
// return (its status would race the signal's).
[[noreturn]] void waitForTheEnd() {
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

// Every way the run ends before a job gives its summary: a line on standard error (with the hint
// for usage errors) and, with --json, one object on standard output.
class Ender {
public:
    explicit Ender(bool json) : json_(json) {}
    void setWatcher(cli::SignalWatcher* w) { watcher_ = w; }

    int end(int status, const std::string& outcome, const std::string& message) {
        if (watcher_ && !watcher_->claimEnding()) waitForTheEnd();
        std::cerr << "rowlark-dedupe: " << message << "\n";
        if (outcome == "usage") std::cerr << "Try 'rowlark-dedupe --help'.\n";
        if (json_) cli::printEndingJson(std::cout, {status, outcome, message});
        std::cout << std::flush;
        return status;
    }
    int usage(const std::string& what) { return end(2, "usage", what); }
    int refused(const std::string& why) { return end(2, "refused", why); }
    int stopped(int signal) { return end(128 + signal, "stopped", stopText(signal)); }

    static std::string stopText(int signal) {
        return "stopped by " + cli::signalWords(signal) +
               "; the table chosen is as it was, and no new table was made.";
    }

private:
    bool json_;
    cli::SignalWatcher* watcher_ = nullptr;
};

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

// Asked for JSON, even in a form the options refuse (--json=yes): the refusal comes as JSON.
bool wantsJson(const std::vector<std::string>& args) {
    for (const auto& a : args)
        if (a == "--json" || a.rfind("--json=", 0) == 0) return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    cli::PrepareConsole();
    const std::vector<std::string> args = cli::commandLineArguments(argc, argv);
    Ender ender(wantsJson(args));
    cli::Options o;
    try {
        o = cli::parseOptions(args);
    } catch (const std::invalid_argument& e) {
        return ender.usage(e.what());
    }
    if (o.help) {
        if (o.json) return cli::printEndingJson(std::cout, {0, "help", cli::kUsage}), 0;
        std::cout << cli::kUsage;
        return 0;
    }
    if (o.version) {
        const std::string version = std::string("rowlark-dedupe ") + ROWLARK_VERSION;
        if (o.json) return cli::printEndingJson(std::cout, {0, "version", version}), 0;
        std::cout << version << "\n";
        return 0;
    }

    // Watched from here on: a signal at the password prompt or during the look-ups ends the run
    // at once (nothing has been changed), with the terminal as it was.
    auto cancel = std::make_shared<db::CancelSwitch>();
    const std::string newName = o.into ? *o.into : o.table + "2";
    std::unique_ptr<ConsoleEvents> events; // the job's, once it runs
    auto sayLast = [json = o.json](const cli::Ending& e) {
        std::cerr << "\nrowlark-dedupe: " << e.message << std::endl;
        if (json) cli::printEndingJson(std::cout, e);
        std::cout << std::flush;
    };
    cli::SignalWatcher watcher(
        *cancel,
        [&](int signal) {
            sayLast({128 + signal, "stopped", Ender::stopText(signal)});
        },
        // A second signal, and the job did not end in time: what is known of it.
        [&](int signal) {
            using Commit = dedupe::Progress::Commit;
            const Commit commit = events ? events->commit.load() : Commit::NotYet;
            cli::Ending e{128 + signal, "stopped", Ender::stopText(signal)};
            const std::string table = dedupe::bracketed(newName);
            if (commit == Commit::Done)
                e = {0, "made",
                     table + " was made; " + cli::signalWords(signal) +
                         " came after it was made, and the run ended before its summary."};
            else if (commit == Commit::Sent)
                e = {128 + signal, "unknown",
                     "stopped by " + cli::signalWords(signal) + " while the server committed " +
                         table +
                         "; whether it was made is not known. The table chosen is as it "
                         "was. To see what the server holds, run: " +
                         dedupe::tablesMadeStatement({newName})};
            sayLast(e);
            return e.status;
        });
    ender.setWatcher(&watcher);

    const shell::ConnectionProfile stored = shell::LoadStoredProfile();
    shell::ConnectionProfile p = stored;
    if (o.server) p.server = QString::fromStdString(*o.server);
    if (o.port) p.port = QString::fromStdString(*o.port);
    if (o.user) p.user = QString::fromStdString(*o.user);
    if (o.database) p.database = QString::fromStdString(*o.database);
    if (o.local) p.localConnection = 1;
    if (o.noLocal) p.localConnection = 0;
    if (p.server.trimmed().isEmpty())
        return ender.usage("no server: give --server HOST (no login is stored)");
    if (qEnvironmentVariableIsSet("ROWLARK_PASSWORD"))
        p.password = qEnvironmentVariable("ROWLARK_PASSWORD");
    else if (sameLogin(p, stored) && !stored.password.isEmpty())
        p.password = stored.password;
    else if (auto typed = cli::promptPassword("Password for " + p.user.toStdString() + ": "))
        p.password = QString::fromStdString(*typed);
    else
        return ender.usage("no password: set ROWLARK_PASSWORD");

    if (auto why = dedupe::RefuseNewName(newName, o.table)) return ender.refused(*why);
    const std::string removedInto = o.removedInto.value_or("");
    if (o.removedInto)
        if (auto why = dedupe::RefuseRemovedName(removedInto, newName, o.table))
            return ender.refused(*why);

    const bool bar = cli::stderrIsTerminal() && !o.json;
    const std::string connectionString = shell::BuildConnectionString(p).toStdString();
    const std::string place = cli::connectionPlace(p, {o.server.has_value(), o.port.has_value()});
    std::string table;
    std::vector<std::string> chosen;
    std::vector<dedupe::OrderColumn> order;
    auto failed = [&](const db::OdbcError& e) { return ender.end(1, "failed", e.description()); };
    // One connection finds the names and, for a dry run, reads the keys; the job opens its own.
    auto c = std::make_unique<db::Connection>();
    try {
        c->setCancelSwitch(cancel);
        c->setLoginTimeout(db::kDefaultLoginTimeout);
        c->setQueryTimeout(kLookupTimeout);
        try {
            c->open(connectionString);
        } catch (const db::OdbcError& e) {
            return ender.end(1, "failed", place + ": " + cli::driverWords(e.description()));
        }
        std::string error;
        auto found =
            resolve(dedupe::ReadTableNames(*c), o.table, "the database has no table named", error);
        if (!found) return ender.refused(error);
        table = *found;
        const auto columns = dedupe::ReadColumnNames(*c, table);
        for (const auto& wanted : o.columns) {
            auto column = resolve(columns, wanted, "the table " + table + " has no column", error);
            if (!column) return ender.refused(error);
            if (std::find(chosen.begin(), chosen.end(), *column) != chosen.end())
                return ender.usage("--column " + wanted + " names the column " + *column +
                                   " a second time");
            chosen.push_back(*column);
        }
        for (const auto& [wanted, descending] : o.orderBy) {
            auto column = resolve(columns, wanted, "the table " + table + " has no column", error);
            if (!column) return ender.refused(error);
            for (const auto& earlier : order)
                if (earlier.name == *column)
                    return ender.usage("--order-by " + wanted + " names the column " + *column +
                                       " a second time");
            order.push_back({*column, descending});
        }
    } catch (const db::OdbcError& e) {
        return failed(e);
    }
    if (auto why = dedupe::RefuseNewName(newName, table)) return ender.refused(*why);
    if (o.removedInto)
        if (auto why = dedupe::RefuseRemovedName(removedInto, newName, table))
            return ender.refused(*why);

    if (o.dryRun) {
        try {
            c->setQueryTimeout(dedupe::JobSettings{}.timeoutSeconds);
            dedupe::Survey survey;
            if (o.onServer) {
                survey = dedupe::SurveyOnServer(*c, table, chosen, order, o.keepLast);
            } else {
                survey = dedupe::SurveyDuplicates(*c, table, chosen, 10, o.memoryLimit.value_or(0),
                                                  o.spillDir);
                dedupe::FindRowsThatStay(*c, table, chosen, order, o.keepLast, survey);
            }
            if (!watcher.claimEnding()) waitForTheEnd();
            if (o.json)
                cli::printSurveyJson(std::cout, table, survey, order, o.keepLast, o.onServer);
            else
                cli::printSurvey(std::cout, table, survey, order, o.keepLast, o.onServer);
        } catch (const db::OdbcError& e) {
            return failed(e);
        } catch (const std::exception& e) {
            return ender.end(1, "failed", e.what());
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
    s.spillDir = o.spillDir;
    s.orderBy = order;
    s.keepLast = o.keepLast;
    s.removedInto = removedInto;
    s.onServer = o.onServer;
    s.cancel = cancel;
    cli::ProgressLine progress(std::cerr, bar);
    events = std::make_unique<ConsoleEvents>(progress, o.replace, place);
    cli::RunSummary summary;
    summary.table = table;
    summary.newTable = newName;
    watcher.jobStarted([&progress](int signal, int count) {
        const std::string name = cli::signalWords(signal);
        progress.message(count == 1 ? "rowlark-dedupe: " + name +
                                          ": stopping; another one cuts the connection at once."
                                    : "rowlark-dedupe: " + name + " again: the connection is cut.");
    });
    summary.outcome = dedupe::RunJob(s, *events);
    summary.noDuplicates = events->none;
    summary.failed = events->failed;
    summary.notices = events->notices;
    summary.orderBy = order;
    summary.keepLast = o.keepLast;
    summary.removedInto = removedInto;
    summary.onServer = o.onServer;
    summary.signal = watcher.caught();
    const dedupe::JobOutcome& out = summary.outcome;
    if (!watcher.claimEnding()) waitForTheEnd(); // the watcher is saying the last words
    progress.end(out.newTableMade || summary.noDuplicates);

    // Once the new table is committed it stays, whatever came after: the run says so.
    if (summary.signal && !out.newTableMade && !out.commitUnknown)
        return cli::endJob(std::cout, std::cerr, summary, o.json, 128 + summary.signal, "stopped",
                           Ender::stopText(summary.signal));
    if (out.refusal) {
        std::string why = *out.refusal;
        if (events->asked && !o.replace) why += " Give --replace to replace it.";
        return cli::endJob(std::cout, std::cerr, summary, o.json, 2, "refused", why);
    }
    if (out.commitUnknown)
        return cli::endJob(std::cout, std::cerr, summary, o.json,
                           summary.signal ? 128 + summary.signal : 1, "unknown", out.notMade);
    if (out.newTableMade) {
        std::string line = cli::madeLine(summary);
        if (summary.signal)
            line += " (" + cli::signalWords(summary.signal) +
                    " came after the new table was made; it was kept.)";
        if (out.failedSteps > 0)
            return cli::endJob(std::cout, std::cerr, summary, o.json, 1, "made",
                               line + " " + std::to_string(out.failedSteps) +
                                   (out.failedSteps == 1 ? " later step" : " later steps") +
                                   " failed: see the errors above.");
        return cli::endJob(std::cout, std::cerr, summary, o.json, 0, "made", line);
    }
    if (summary.noDuplicates)
        return cli::endJob(std::cout, std::cerr, summary, o.json, 0, "no_duplicates",
                           "No duplicates found.");
    const int n = std::max(1, out.failedSteps);
    return cli::endJob(std::cout, std::cerr, summary, o.json, 1, "not_made",
                       std::to_string(n) + (n == 1 ? " step" : " steps") +
                           " failed; no new table was made.");
}
