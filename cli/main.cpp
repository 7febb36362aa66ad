// rowlark-dedupe: the duplicate-removal job from a terminal. The run goes in steps: the options,
// the login, the names looked up, then a dry run or the job, and the ending.
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
#include <mutex>
#include <thread>

using namespace rowlark;
namespace option = cli::option;

namespace {

// Seconds a catalogue look-up may wait for the server; the job's own statements may run long.
constexpr int kLookupTimeout = 30;

class ConsoleEvents : public dedupe::JobEvents {
public:
    ConsoleEvents(cli::ProgressLine& line, bool replace, std::string place)
        : line_(line), replace_(replace), place_(std::move(place)) {}

    void progress(const dedupe::Progress& p) override {
        {
            std::lock_guard lock(mutex_);
            last_ = p;
        }
        commit = p.commit;
        line_.show(p);
    }
    void report(int line, const std::string& description) override {
        // The job's own login says where it tried, as the look-ups' does.
        const std::string text = line == 122 || line == 124
                                     ? place_ + ": " + cli::driverWords(description)
                                     : description;
        line_.message("rowlark-dedupe: step " + std::to_string(line) + " failed: " + text);
        std::lock_guard lock(mutex_);
        failed_.push_back({line, text});
    }
    void notice(const std::string& text) override {
        line_.message("rowlark-dedupe: note: " + text);
        std::lock_guard lock(mutex_);
        notices_.push_back(text);
    }
    void noDuplicates() override { none = true; }
    void showResult(std::shared_ptr<db::RecordSet>) override {}
    bool wantsResult() const override { return false; } // nothing here shows the new table
    bool replaceExisting(const std::string&) override {
        asked = true;
        return replace_;
    }

    // What the job told so far, into the summary: read by the signal watcher too, while the job
    // may still be telling.
    void fill(cli::RunSummary& s) {
        std::lock_guard lock(mutex_);
        s.outcome.counts = last_;
        s.failed = failed_;
        s.notices = notices_;
        s.noDuplicates = none;
    }

    std::atomic<bool> none{false};
    bool asked = false;
    // Read by the signal watcher when it has to say the last words itself.
    std::atomic<dedupe::Progress::Commit> commit{dedupe::Progress::Commit::NotYet};

private:
    cli::ProgressLine& line_;
    bool replace_;
    std::string place_;
    std::mutex mutex_;
    dedupe::Progress last_;
    std::vector<cli::FailedStep> failed_;
    std::vector<std::string> notices_;
};

// A signal is ending the process and saying so: nothing more may be printed, and main must not
// return (its status would race the signal's).
[[noreturn]] void waitForTheEnd() {
    for (;;)
        std::this_thread::sleep_for(std::chrono::seconds(1));
}

// The run has ended and said so; main returns the status.
struct RunEnded {
    int status;
};

// Every way the run ends before a job gives its summary: a line on standard error (with the hint
// for usage errors) and, with --json, one object on standard output.
class Ender {
public:
    explicit Ender(bool json) : json_(json) {}
    void setWatcher(cli::SignalWatcher* w) { watcher_ = w; }

    [[noreturn]] void end(int status, const std::string& outcome, const std::string& message) {
        if (watcher_ && !watcher_->claimEnding()) waitForTheEnd();
        std::cerr << "rowlark-dedupe: " << message << "\n";
        if (outcome == "usage") std::cerr << "Try 'rowlark-dedupe " << option::kHelp << "'.\n";
        if (json_) cli::printEndingJson(std::cout, {status, outcome, message});
        std::cout << std::flush;
        throw RunEnded{status};
    }
    [[noreturn]] void usage(const std::string& what) { end(2, "usage", what); }
    [[noreturn]] void refused(const std::string& why) { end(2, "refused", why); }

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

// The stored password goes only to the login it was stored with.
bool sameLogin(const shell::ConnectionProfile& a, const shell::ConnectionProfile& b) {
    return a.server.compare(b.server, Qt::CaseInsensitive) == 0 && a.port == b.port &&
           a.user == b.user;
}

// The names as the database spells them.
struct Found {
    std::string table;
    std::vector<std::string> columns;
    std::vector<dedupe::OrderColumn> order;
};

class Run {
public:
    Run(cli::Options o, Ender& ender)
        : o_(std::move(o)), ender_(ender), newName_(o_.into ? *o_.into : o_.table + "2") {}
    int go();

private:
    int lastWords(int signal);
    void watch();
    shell::ConnectionProfile login();
    void checkNames(const std::string& table);
    std::string resolve(const std::vector<std::string>& names, const std::string& typed,
                        const std::string& what);
    Found lookUp(db::Connection& c);
    int dryRun(db::Connection& c, const Found& found);
    int runJob(const Found& found);
    int ending(cli::RunSummary& summary);

    const cli::Options o_;
    Ender& ender_;
    const std::string newName_;
    std::string connectionString_, place_;
    bool localConnection_ = false;
    std::shared_ptr<db::CancelSwitch> cancel_ = std::make_shared<db::CancelSwitch>();
    std::unique_ptr<cli::SignalWatcher> watcher_;
    std::vector<dedupe::OrderColumn> order_; // the job's order, as the database spells it
    std::unique_ptr<ConsoleEvents> events_;  // the job's, once it runs
};

// The run's last words when the job cannot end in time (a second signal's grace is over, or,
// where a stalled connection cannot be cut, the cancel's): what the job published tells them.
int Run::lastWords(int signal) {
    using Commit = dedupe::Progress::Commit;
    const Commit commit = events_ ? events_->commit.load() : Commit::NotYet;
    cli::Ending e{128 + signal, "stopped", Ender::stopText(signal)};
    const std::string table = dedupe::bracketed(newName_);
    if (commit == Commit::Done)
        e = {0, "made",
             table + " was made; " + cli::signalWords(signal) +
                 " came after it was made, and the run ended before its summary."};
    else if (commit == Commit::Sent)
        e = {128 + signal, "unknown",
             "stopped by " + cli::signalWords(signal) + " while the server committed " + table +
                 "; whether it was made is not known. The table chosen is as it was. To see "
                 "what the server holds, run: " +
                 dedupe::tablesMadeStatement({newName_})};
    std::cerr << "\n";
    if (events_ && commit == Commit::NotYet) {
        // Stopped before the commit: the same ending as a job that ended by itself.
        cli::RunSummary s;
        events_->fill(s);
        s.table = o_.table, s.newTable = newName_, s.signal = signal;
        s.removedInto = o_.removedInto.value_or(""), s.onServer = o_.onServer;
        s.keepLast = o_.keepLast, s.orderBy = order_;
        s.outcome.cancelled = true;
        return cli::endJob(std::cout, std::cerr, s, o_.json, e.status, e.outcome, e.message);
    }
    std::cerr << "rowlark-dedupe: " << e.message << std::endl;
    if (o_.json) cli::printEndingJson(std::cout, e);
    std::cout << std::flush;
    return e.status;
}

// Watched from here on: a signal at the password prompt or during the look-ups ends the run at
// once (nothing has been changed), with the terminal as it was.
void Run::watch() {
    watcher_ = std::make_unique<cli::SignalWatcher>(
        *cancel_,
        [this](int signal) {
            const std::string text = Ender::stopText(signal);
            std::cerr << "\nrowlark-dedupe: " << text << std::endl;
            if (o_.json) cli::printEndingJson(std::cout, {128 + signal, "stopped", text});
            std::cout << std::flush;
        },
        [this](int signal) { return lastWords(signal); });
    ender_.setWatcher(watcher_.get());
}

// The stored login, with what the command line gives in its place, and the password.
shell::ConnectionProfile Run::login() {
    const shell::ConnectionProfile stored = shell::LoadStoredProfile();
    shell::ConnectionProfile p = stored;
    if (o_.server) p.server = QString::fromStdString(*o_.server);
    if (o_.port) p.port = QString::fromStdString(*o_.port);
    if (o_.user) p.user = QString::fromStdString(*o_.user);
    if (o_.database) p.database = QString::fromStdString(*o_.database);
    if (o_.local) p.localConnection = 1;
    if (o_.noLocal) p.localConnection = 0;
    if (p.server.trimmed().isEmpty())
        ender_.usage("no server: give " + cli::named(option::kServer, "HOST") +
                     " (no login is stored)");
    if (qEnvironmentVariableIsSet("ROWLARK_PASSWORD"))
        p.password = qEnvironmentVariable("ROWLARK_PASSWORD");
    else if (sameLogin(p, stored) && !stored.password.isEmpty())
        p.password = stored.password;
    else if (auto typed = cli::promptPassword("Password for " + p.user.toStdString() + ": "))
        p.password = QString::fromStdString(*typed);
    else
        ender_.usage("no password: set ROWLARK_PASSWORD");
    connectionString_ = shell::BuildConnectionString(p).toStdString();
    place_ = cli::connectionPlace(p, {o_.server.has_value(), o_.port.has_value()});
    localConnection_ = p.localConnection == 1;
    return p;
}

// The new tables' names against the table as typed, and again as the database spells it.
void Run::checkNames(const std::string& table) {
    if (auto why = dedupe::RefuseNewName(newName_, table)) ender_.refused(*why);
    if (o_.removedInto)
        if (auto why = dedupe::RefuseRemovedName(*o_.removedInto, newName_, table))
            ender_.refused(*why);
}

// The name the user typed, as the database spells it; refused when it means none or many.
std::string Run::resolve(const std::vector<std::string>& names, const std::string& typed,
                         const std::string& what) {
    auto r = dedupe::ResolveName(names, typed);
    if (r.unique()) return r.matches.front();
    ender_.refused(r.matches.empty() ? what + " " + typed
                                     : typed + " could mean any of " + joined(r.matches) +
                                           ": please spell it exactly");
}

Found Run::lookUp(db::Connection& c) {
    Found f;
    f.table = resolve(dedupe::ReadTableNames(c), o_.table, "the database has no table named");
    const auto columns = dedupe::ReadColumnNames(c, f.table);
    const std::string noColumn = "the table " + f.table + " has no column";
    auto twice = [](std::string_view option, const std::string& wanted, const std::string& name) {
        return cli::named(option, wanted + " names the column " + name + " a second time");
    };
    for (const auto& wanted : o_.columns) {
        const std::string column = resolve(columns, wanted, noColumn);
        if (std::find(f.columns.begin(), f.columns.end(), column) != f.columns.end())
            ender_.usage(twice(option::kColumn, wanted, column));
        f.columns.push_back(column);
    }
    for (const auto& [wanted, descending] : o_.orderBy) {
        const std::string column = resolve(columns, wanted, noColumn);
        for (const auto& earlier : f.order)
            if (earlier.name == column) ender_.usage(twice(option::kOrderBy, wanted, column));
        f.order.push_back({column, descending});
    }
    return f;
}

int Run::dryRun(db::Connection& c, const Found& f) {
    try {
        c.setQueryTimeout(dedupe::JobSettings{}.timeoutSeconds);
        dedupe::Survey survey;
        if (o_.onServer) {
            survey = dedupe::SurveyOnServer(c, f.table, f.columns, f.order, o_.keepLast);
        } else {
            survey = dedupe::SurveyDuplicates(c, f.table, f.columns, 10, o_.memoryLimit.value_or(0),
                                              o_.spillDir);
            dedupe::FindRowsThatStay(c, f.table, f.columns, f.order, o_.keepLast, survey);
        }
        if (!watcher_->claimEnding()) waitForTheEnd();
        if (o_.json)
            cli::printSurveyJson(std::cout, f.table, survey, f.order, o_.keepLast, o_.onServer);
        else
            cli::printSurvey(std::cout, f.table, survey, f.order, o_.keepLast, o_.onServer);
    } catch (const db::OdbcError& e) {
        ender_.end(1, "failed", e.description());
    } catch (const std::exception& e) {
        ender_.end(1, "failed", e.what());
    }
    return 0;
}

int Run::runJob(const Found& f) {
    dedupe::JobSettings s;
    s.connectionString = connectionString_;
    s.localConnection = localConnection_;
    s.selectedTable = f.table;
    s.duplicateColumns = f.columns;
    s.newName = newName_;
    if (o_.memoryLimit) s.memoryBudget = *o_.memoryLimit;
    s.spillDir = o_.spillDir;
    order_ = f.order;
    s.orderBy = f.order;
    s.keepLast = o_.keepLast;
    s.removedInto = o_.removedInto.value_or("");
    s.onServer = o_.onServer;
    s.cancel = cancel_;
    cli::ProgressLine progress(std::cerr, cli::stderrIsTerminal() && !o_.json);
    events_ = std::make_unique<ConsoleEvents>(progress, o_.replace, place_);
    watcher_->jobStarted([&progress](int signal, int count) {
        const std::string name = cli::signalWords(signal);
        progress.message(count == 1 ? "rowlark-dedupe: " + name +
                                          ": stopping; another one cuts the connection at once."
                                    : "rowlark-dedupe: " + name + " again: the connection is cut.");
    });
    cli::RunSummary summary;
    const dedupe::JobOutcome outcome = dedupe::RunJob(s, *events_);
    events_->fill(summary);
    summary.outcome = outcome;
    summary.table = f.table;
    summary.newTable = newName_;
    summary.orderBy = order_;
    summary.keepLast = o_.keepLast;
    summary.removedInto = s.removedInto;
    summary.onServer = o_.onServer;
    summary.signal = watcher_->caught();
    if (!watcher_->claimEnding()) waitForTheEnd(); // the watcher is saying the last words
    progress.end(summary.outcome.newTableMade || summary.noDuplicates);
    return ending(summary);
}

// How a job that ran ends: once the new table is committed it stays, whatever came after, and
// the run says so.
int Run::ending(cli::RunSummary& summary) {
    const dedupe::JobOutcome& out = summary.outcome;
    auto end = [&](int status, const std::string& outcome, const std::string& message) {
        return cli::endJob(std::cout, std::cerr, summary, o_.json, status, outcome, message);
    };
    if (summary.signal && !out.newTableMade && !out.commitUnknown)
        return end(128 + summary.signal, "stopped", Ender::stopText(summary.signal));
    if (out.refusal) {
        std::string why = *out.refusal;
        if (events_->asked && !o_.replace)
            why += " Give " + std::string(option::kReplace) + " to replace it.";
        return end(2, "refused", why);
    }
    if (out.commitUnknown)
        return end(summary.signal ? 128 + summary.signal : 1, "unknown", out.notMade);
    if (out.newTableMade) {
        std::string line = cli::madeLine(summary);
        if (summary.signal)
            line += " (" + cli::signalWords(summary.signal) +
                    " came after the new table was made; it was kept.)";
        if (out.failedSteps > 0)
            return end(1, "made",
                       line + " " + std::to_string(out.failedSteps) +
                           (out.failedSteps == 1 ? " later step" : " later steps") +
                           " failed: see the errors above.");
        return end(0, "made", line);
    }
    if (summary.noDuplicates) return end(0, "no_duplicates", "No duplicates found.");
    const int n = std::max(1, out.failedSteps);
    return end(1, "not_made",
               std::to_string(n) + (n == 1 ? " step" : " steps") +
                   " failed; no new table was made.");
}

int Run::go() {
    if (o_.help) {
        if (o_.json) return cli::printEndingJson(std::cout, {0, "help", cli::usageText()}), 0;
        std::cout << cli::usageText();
        return 0;
    }
    if (o_.version) {
        const std::string version = std::string("rowlark-dedupe ") + ROWLARK_VERSION;
        if (o_.json) return cli::printEndingJson(std::cout, {0, "version", version}), 0;
        std::cout << version << "\n";
        return 0;
    }
    watch();
    login();
    checkNames(o_.table);
    // One connection finds the names and, for a dry run, reads the keys; the job opens its own.
    auto c = std::make_unique<db::Connection>();
    Found found;
    try {
        c->setCancelSwitch(cancel_);
        c->setLoginTimeout(db::kDefaultLoginTimeout);
        c->setQueryTimeout(kLookupTimeout);
        try {
            c->open(connectionString_);
        } catch (const db::OdbcError& e) {
            ender_.end(1, "failed", place_ + ": " + cli::driverWords(e.description()));
        }
        found = lookUp(*c);
    } catch (const db::OdbcError& e) {
        ender_.end(1, "failed", e.description());
    }
    checkNames(found.table);
    if (o_.dryRun) return dryRun(*c, found);
    c.reset();
    return runJob(found);
}

} // namespace

int main(int argc, char** argv) {
    cli::PrepareConsole();
    const std::vector<std::string> args = cli::commandLineArguments(argc, argv);
    Ender ender(cli::asksForJson(args));
    try {
        cli::Options o;
        try {
            o = cli::parseOptions(args);
        } catch (const std::invalid_argument& e) {
            ender.usage(e.what());
        }
        Run run(std::move(o), ender);
        return run.go();
    } catch (const RunEnded& e) {
        return e.status;
    }
}
