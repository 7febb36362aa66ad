#include "job.h"

#include "commit_check.h"
#include "common/step_runner.h"
#include "finder.h"
#include "keys.h"
#include "sql_text.h"
#include "work_reads.h"

#include <QString>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <stdexcept>

namespace rowlark::dedupe {
namespace {

using Clock = std::chrono::steady_clock;

// A name as the server compares it: trailing blanks ignored, one Unicode form.
QString serverName(const std::string& name) {
    QString s = QString::fromStdString(name).normalized(QString::NormalizationForm_C);
    while (s.endsWith(' '))
        s.chop(1);
    return s;
}

bool sameServerName(const std::string& a, const std::string& b) {
    return serverName(a).compare(serverName(b), Qt::CaseInsensitive) == 0;
}

bool isExactInteger(const db::Field& f) {
    switch (f.type) {
    case db::kAdTinyInt:
    case db::kAdUnsignedTinyInt:
    case db::kAdSmallInt:
    case db::kAdInteger:
    case db::kAdBigInt:
        return true;
    case db::kAdNumeric:
        return f.meta.decimalDigits == 0;
    default:
        return false;
    }
}

// Stops the job at a step whose failure makes the later steps meaningless.
struct Stop {};

class Job {
public:
    Job(const JobSettings& s, JobEvents& events)
        : s_(s), events_(events), run_([this](int line, const std::string& d) {
              // What fails because the user stopped the job is no error to report.
              if (cancelled()) return;
              ++reported_;
              events_.report(line, d);
          }) {}

    JobOutcome run();

private:
    db::Connection& connection() {
        if (!connection_ || !connection_->isOpen())
            throw std::runtime_error("The connection is not open.");
        return *connection_;
    }
    // The new name, checked again at every use: the source table is never the one dropped.
    std::string newName() {
        std::string name = s_.newName();
        if (auto why = RefuseNewName(name, s_.selectedTable)) throw std::runtime_error(*why);
        return name;
    }
    void phase(Phase p) {
        counts_.phase = p;
        events_.progress(counts_);
        lastProgress_ = Clock::now();
    }
    void tick() {
        if (Clock::now() - lastProgress_ < std::chrono::milliseconds(100)) return;
        events_.progress(counts_);
        lastProgress_ = Clock::now();
    }
    bool cancelled() const { return s_.cancel && s_.cancel->pulled(); }
    // A step that the rest of the job needs: when it fails, the job goes to its end.
    void must(int line, const std::function<void()>& work) {
        if (!run_.step(line, work)) throw Stop{};
    }

    void connect();
    void readMetadata();
    bool checkName(const std::string& name, bool& replace, JobOutcome& out);
    void leaveOutByList();
    template <class Statement, class Done, class Fault>
    void forEachBatch(Statement&& statement, Done&& done, Fault&& fault);
    void makeTablesOnServer(JobOutcome& out);
    bool anyKeyRepeats();
    void makeWorkTable();
    void findRepeatsInWorkTable();
    // One read of the copy's numbers and keys into the search; false when rows came out of the
    // order of their numbers where that order decides (nothing is kept then).
    bool readWorkKeys(bool sorted);
    void deleteRepeats(int line);
    // The statements that make the new table (and the removed rows' table) from the work table,
    // with the rows each must hold (-1: not known before). `total`: the two must hold the work
    // table's rows between them.
    struct Copies {
        std::string keep, removed;
        long long keepRows = -1, removedRows = -1;
        bool total = false;
        // The server decides: a new table that keeps every row means nothing repeats, and the
        // transaction is undone (any table it replaced stays).
        bool undoWhenAllKept = false;
    };
    Copies copies() const;
    void makeNewTable(JobOutcome& out, const Copies& copies);
    void commit(JobOutcome& out, const std::vector<CommitTarget>& targets);
    // Reports a failure as a failing step does (not when the job was stopped).
    void fail(int line, const std::string& text) {
        run_.step(line, [&] { throw std::runtime_error(text); });
    }
    void noticeOldWorkTable();
    void showNewTable();
    JobOutcome finish(JobOutcome& out) {
        phase(Phase::Done);
        out.counts = counts_;
        out.failedSteps = reported_;
        return out;
    }

    const JobSettings& s_;
    JobEvents& events_;
    StepRunner run_;
    int reported_ = 0;
    std::shared_ptr<db::Connection> connection_;
    std::vector<std::string> columns_;
    std::string identity_; // the source's identity column, when it has one
    std::string numberBy_; // the work table's column whose value names one row
    std::vector<std::int64_t> doomed_;
    std::vector<std::int64_t> numbersRead_; // the identity values read, sorted
    // The repeats as runs of neighbouring rows of the copy, when there are few such runs: the new
    // table is then copied without them, and nothing is deleted.
    std::vector<NumberRange> leftOut_;
    long long workRows_ = 0;
    bool replace_ = false;
    bool replaceRemoved_ = false;
    bool nothingRepeats_ = false; // the server found no repeats; nothing was made
    bool listed_ = false;         // the repeats' numbers are in the session table kNumberList
    bool reconnected_ = false;    // the commit was confirmed on a fresh connection
    const std::string work_ = workTableName();
    Progress counts_;
    Clock::time_point lastProgress_;
};

void Job::connect() {
    phase(Phase::Connecting);
    run_.step(100, [&] { connection_ = std::make_shared<db::Connection>(); });
    run_.step(114, [&] {
        if (connection_) connection_->setCursorLocation(db::CursorLocation::Client);
    });
    run_.step(116, [&] {
        if (connection_) connection_->setQueryTimeout(s_.timeoutSeconds);
    });
    run_.step(118, [&] {
        if (connection_) connection_->setLoginTimeout(s_.loginTimeoutSeconds);
    });
    must(s_.localConnection ? 122 : 124, [&] {
        if (!connection_) throw std::runtime_error("The connection could not be created.");
        connection_->setCancelSwitch(s_.cancel);
        connection_->open(s_.connectionString);
    });
}

// The column names and the identity column: the first one the driver marks as such, of an exact
// integer type.
void Job::readMetadata() {
    must(126, [&] {
        db::RecordSet fields;
        fields.open(metadataQuery(s_.selectedTable), connection());
        for (const auto& f : fields.fields()) {
            columns_.push_back(f.name);
            if (identity_.empty() && f.identity && isExactInteger(f)) identity_ = f.name;
        }
    });
}

// A view or another object of the new name is never dropped; a table only when the user agrees.
bool Job::checkName(const std::string& name, bool& replace, JobOutcome& out) {
    std::string kind;
    must(128, [&] {
        db::Statement st(connection());
        st.execute(objectKindQuery(name));
        std::vector<db::Value> row;
        if (!st.fetch(row) || !row.at(0))
            throw std::runtime_error("The name could not be looked up.");
        kind = *row[0];
    });
    if (kind == "other") {
        out.refusal = "\"" + name +
                      "\" is the name of a view or another object that is not a table. It is "
                      "never dropped: please choose another name for the new table.";
        return false;
    }
    if (kind == "table") {
        if (!events_.replaceExisting(name)) {
            out.refusal = "A table named \"" + name + "\" already exists and was left as it is.";
            return false;
        }
        replace = true;
    }
    return true;
}

// The first read only decides whether any key repeats: it stops at the first repeat. A table
// whose hashes pass the memory budget before one repeats goes on to the work table, whose read
// decides for certain.
bool Job::anyKeyRepeats() {
    phase(Phase::Reading);
    bool repeats = false;
    must(168, [&] {
        // Hashes are enough to tell that nothing repeats; a repeat they report is decided on
        // the copy, key by key.
        RepeatProbe probe;
        const std::uint64_t budget = s_.memoryBudget ? s_.memoryBudget : DefaultMemoryBudget();
        db::Statement st(connection());
        st.execute(keyQuery(s_.duplicateColumns, s_.selectedTable));
        counts_.keyBytes = 0;
        forEachKey(st, false, [&](std::int64_t, const std::string& key) {
            counts_.keyBytes += key.size();
            const bool repeat = probe.add(key);
            counts_.rowsRead = std::max(counts_.rowsRead, probe.rows());
            if (repeat || probe.memoryUsed() > budget) return !(repeats = true);
            if ((probe.rows() & 4095) == 0) tick();
            return true;
        });
        if (repeats) st.cancel();
    });
    return repeats;
}

// The job's own copy, in a temporary table of its session: every later decision is made on it,
// whatever other sessions do to the source meanwhile.
void Job::makeWorkTable() {
    phase(Phase::Copying);
    noticeOldWorkTable();
    if (identity_.empty()) {
        numberBy_ = workColumnName(columns_);
        must(204, [&] {
            workRows_ =
                connection().execute(copyIntoNumberedWorkTable(s_.selectedTable, work_, numberBy_));
        });
    } else {
        // The source's identity column cannot sit beside a second one: its values name the rows,
        // once they are shown to be unique.
        numberBy_ = identity_;
        must(204,
             [&] { workRows_ = connection().execute(copyIntoWorkTable(s_.selectedTable, work_)); });
    }
}

void Job::findRepeatsInWorkTable() {
    phase(Phase::Numbering);
    // Without an order the row that stays is the first by number: the identity's order, or the
    // copy's numbering. The copy is read as it is stored, which is that order nearly always; a
    // read that meets a number lower than the one before it is read again, sorted.
    must(210, [&] {
        if (!readWorkKeys(false)) readWorkKeys(true);
    });
    // With the search's memory given back: the runs need a sorted copy of the numbers.
    must(210, [&] {
        leftOut_ = runsOf(doomed_, identity_.empty() ? nullptr : &numbersRead_, s_.maxLeftOutRuns);
        numbersRead_ = {};
    });
}

bool Job::readWorkKeys(bool sorted) {
    const bool byNumber = s_.orderBy.empty() && !s_.keepLast;
    db::Statement st(connection());
    st.execute(
        workKeyQuery(numberBy_, s_.duplicateColumns, work_, s_.orderBy, s_.keepLast, sorted));
    // The copy said how many rows it made: the search is sized for them once.
    RepeatFinder finder(s_.memoryBudget, static_cast<std::uint64_t>(std::max(0LL, workRows_)));
    finder.setSpillDir(s_.spillDir);
    std::vector<std::int64_t> numbers; // only for identity values, to show they are unique
    std::uint64_t rows = 0;
    bool inOrder = true;
    std::int64_t previous = 0;
    counts_.keyBytes = 0;
    forEachKey(st, true, [&](std::int64_t number, const std::string& key) {
        if (byNumber && !sorted && rows > 0 && number < previous) return inOrder = false;
        previous = number;
        counts_.keyBytes += key.size();
        if (!identity_.empty()) numbers.push_back(number);
        finder.push(number, key);
        counts_.rowsRead = std::max(counts_.rowsRead, ++rows);
        if ((rows & 4095) == 0) tick();
        return true;
    });
    if (!inOrder) {
        st.cancel();
        return false;
    }
    if (!identity_.empty()) {
        std::sort(numbers.begin(), numbers.end());
        if (std::adjacent_find(numbers.begin(), numbers.end()) != numbers.end())
            throw std::runtime_error(
                "The identity column [" + identity_ +
                "] holds the same value in more than one row, so its values cannot name "
                "single rows. Nothing was deleted and no new table was made.");
    }
    doomed_ = finder.repeats();
    counts_.duplicates = doomed_.size();
    if (finder.spilled())
        events_.notice("The keys did not fit the memory budget and went to temporary files. "
                       "rowlark-dedupe --on-server has the server do the whole job instead, "
                       "no key leaving it (by the server's own comparison of values).");
    if (!identity_.empty()) numbersRead_ = std::move(numbers);
    return true;
}

// The repeats' numbers, a batch of them at a time, to a statement that must touch exactly the
// rows it names (`done` is told each batch); `fault(touched, named)` says what it means when one
// does not.
template <class Statement, class Done, class Fault>
void Job::forEachBatch(Statement&& statement, Done&& done, Fault&& fault) {
    const std::size_t batch = std::max<std::size_t>(1, s_.deleteBatch);
    std::vector<std::string> part;
    for (std::size_t at = 0; at < doomed_.size(); at += batch) {
        part.clear();
        for (std::size_t i = at; i < std::min(doomed_.size(), at + batch); ++i)
            part.push_back(std::to_string(doomed_[i]));
        const long long touched = connection().execute(statement(part));
        if (touched != static_cast<long long>(part.size()))
            throw std::runtime_error(fault(std::to_string(touched), std::to_string(part.size())));
        done(part.size());
        tick();
    }
}

void Job::deleteRepeats(int line) {
    phase(Phase::Deleting);
    must(214, [&] { connection().execute(indexWorkTable(work_, numberBy_)); });
    // Deletes go by lists; each must remove exactly the rows it names, or the copy is not what
    // the search decided and no new table is made from it.
    must(line, [&] {
        forEachBatch([&](const auto& part) { return deleteMany(work_, numberBy_, part); },
                     [&](std::size_t n) { counts_.deleted += n; },
                     [](const std::string& removed, const std::string& named) {
                         return "A delete removed " + removed +
                                " rows of the work table where it named " + named +
                                ". No new table was made.";
                     });
    });
}

// The numbers of the repeats into a session table of their own, a thousand a statement, each
// checked: the new table and the removed rows' table are then copied by it, and nothing is
// deleted.
void Job::leaveOutByList() {
    phase(Phase::Deleting);
    must(230, [&] { connection().execute(createNumberList(kNumberList)); });
    must(232, [&] {
        forEachBatch([&](const auto& part) { return insertNumbers(kNumberList, part); },
                     [](std::size_t) {},
                     [](const std::string&, const std::string&) {
                         return std::string("The numbers of the rows to leave out did not all "
                                            "arrive. No new table was made.");
                     });
    });
    listed_ = true;
}

Job::Copies Job::copies() const {
    const std::string name = s_.newName();
    const long long kept = workRows_ - static_cast<long long>(doomed_.size());
    const auto removed = static_cast<long long>(doomed_.size());
    Copies c;
    if (!leftOut_.empty()) {
        c.keep = copyIntoNewTableLeavingOut(columns_, name, work_, numberBy_, leftOut_);
        if (!s_.removedInto.empty())
            c.removed = copyRowsInRanges(columns_, s_.removedInto, work_, numberBy_, leftOut_);
        c.keepRows = kept, c.removedRows = removed;
    } else if (listed_) {
        c.keep = copyRowsListed(columns_, name, work_, numberBy_, kNumberList, false);
        c.removed = copyRowsListed(columns_, s_.removedInto, work_, numberBy_, kNumberList, true);
        c.keepRows = kept, c.removedRows = removed;
    } else {
        c.keep = copyIntoNewTable(columns_, name, work_); // the repeats were deleted, each checked
    }
    return c;
}

// The replaced tables' drops and the copies take effect together or not at all: a failing copy
// leaves the old tables as they were.
void Job::makeNewTable(JobOutcome& out, const Copies& copies) {
    phase(Phase::Finishing);
    std::string name;
    std::vector<CommitTarget> targets;
    const bool begun = run_.step(200, [&] {
        name = newName();
        targets.resize(copies.removed.empty() ? 1 : 2);
        targets[0].name = name;
        if (targets.size() > 1) targets[1].name = s_.removedInto;
        // What the names held before: a commit whose answer is lost is judged by it. The rows
        // are counted only where nothing else may tell the old table from the new one.
        for (auto& t : targets) {
            t.before = ReadTableState(connection(), t.name, false);
            if (t.before.id && t.before.columns == columns_)
                t.before = ReadTableState(connection(), t.name, true);
        }
        connection().beginTransaction();
        if (replace_) connection().execute(dropIfExists(name));
        if (replaceRemoved_) connection().execute(dropIfExists(s_.removedInto));
    });
    long long rows = 0, removed = 0;
    auto expect = [](const char* what, long long got, long long want) {
        if (want >= 0 && got != want)
            throw std::runtime_error(std::string(what) + " would have held " + std::to_string(got) +
                                     " rows where " + std::to_string(want) +
                                     " were expected. No new table was made.");
    };
    bool allKept = false;
    const bool copied = begun && run_.step(234, [&] {
        rows = connection().execute(copies.keep);
        if (copies.undoWhenAllKept && rows == workRows_) {
            allKept = true;
            return;
        }
        expect("The new table", rows, copies.keepRows);
        if (!copies.removed.empty()) {
            removed = connection().execute(copies.removed);
            expect("The table of the removed rows", removed, copies.removedRows);
        }
        if (copies.total) expect("The two new tables", rows + removed, workRows_);
        for (std::size_t i = 0; i < targets.size(); ++i) {
            targets[i].made = ReadTableState(connection(), targets[i].name, false);
            targets[i].made.rows = i == 0 ? rows : removed;
        }
    });
    if (!copied) {
        if (connection_) connection_->rollback();
        out.notMade = "The new table was not made; nothing was dropped.";
        throw Stop{};
    }
    if (allKept) {
        connection().rollback();
        nothingRepeats_ = true;
        return;
    }
    commit(out, targets);
    if (copies.keepRows >= 0) counts_.deleted = doomed_.size();
    out.newTableMade = true;
    out.newTableRows = static_cast<std::uint64_t>(std::max(0LL, rows));
    out.removedTableMade = !copies.removed.empty();
    out.removedRows = static_cast<std::uint64_t>(std::max(0LL, removed));
}

// The commit's answer may never come (the connection cut, or stopped): then fresh logins ask the
// server what it holds, and the job goes on from what it says.
void Job::commit(JobOutcome& out, const std::vector<CommitTarget>& targets) {
    counts_.commit = Progress::Commit::Sent;
    events_.progress(counts_);
    std::string lost;
    try {
        connection().commit();
    } catch (const std::exception& e) {
        lost = e.what();
    }
    if (!lost.empty()) {
        const auto check = CheckCommit(s_.connectionString, targets,
                                       {s_.commitCheckWithin, s_.loginTimeoutSeconds},
                                       s_.cancel ? s_.cancel->follower() : nullptr);
        std::vector<std::string> names;
        for (const auto& t : targets)
            names.push_back(bracketed(t.name));
        const std::string made = names.size() > 1 ? names[0] + " and " + names[1] : names[0];
        switch (check.verdict) {
        case CommitVerdict::Made:
            // The old session is gone, and its work table with it.
            connection_ = check.connection;
            reconnected_ = true;
            out.commitConfirmed = true;
            events_.notice("The server's answer to the commit was lost (" + lost +
                           "); a new connection found " + made + " made as " +
                           (names.size() > 1 ? "they" : "it") + " should be.");
            break;
        case CommitVerdict::NotMade:
            counts_.commit = Progress::Commit::NotYet;
            out.notMade = "The server's answer to the commit was lost (" + lost +
                          "), and a new connection found nothing made: every table is as it was.";
            fail(234, out.notMade);
            throw Stop{};
        case CommitVerdict::Unknown:
            fail(234, "The server's answer to the commit was lost (" + lost + ").");
            std::vector<std::string> plain;
            for (const auto& t : targets)
                plain.push_back(t.name);
            out.commitUnknown = true;
            out.notMade = "The server's answer to the commit was lost, and a new connection could "
                          "not learn whether " +
                          made + " " + (names.size() > 1 ? "were" : "was") + " made (" +
                          check.lastError +
                          "). The table you chose is as it was. To see what the server holds, "
                          "run: " +
                          tablesMadeStatement(plain);
            throw Stop{};
        }
    }
    counts_.commit = Progress::Commit::Done;
    events_.progress(counts_);
}

// The whole decision on the server: each group's rows ranked in the order asked for, the first
// stays. Only counts come back. With no repeats nothing is kept made.
void Job::makeTablesOnServer(JobOutcome& out) {
    std::vector<std::string> taken = columns_;
    taken.push_back(numberBy_);
    const std::string rank = freeColumnName(kRankColumn, taken);
    Copies c;
    c.undoWhenAllKept = true;
    c.keep = copyRankedRows(columns_, s_.newName(), work_, s_.duplicateColumns, s_.orderBy,
                            s_.keepLast, numberBy_, rank, true);
    if (!s_.removedInto.empty()) {
        c.removed = copyRankedRows(columns_, s_.removedInto, work_, s_.duplicateColumns, s_.orderBy,
                                   s_.keepLast, numberBy_, rank, false);
        c.total = true;
    }
    makeNewTable(out, c);
    counts_.rowsRead = static_cast<std::uint64_t>(std::max(0LL, workRows_));
    if (nothingRepeats_) return;
    counts_.duplicates = counts_.rowsRead - std::min(counts_.rowsRead, out.newTableRows);
    counts_.deleted = counts_.duplicates;
}

// Earlier versions made a permanent work table of this name. One that exists now may be such a
// leftover, or a table of the user's: it is never dropped, only pointed out.
void Job::noticeOldWorkTable() {
    std::vector<std::string> found;
    try {
        db::Statement st(connection());
        st.execute(oldWorkTableQuery());
        std::vector<db::Value> row;
        while (st.fetch(row))
            if (row.at(0) && !sameServerName(*row[0], s_.selectedTable)) found.push_back(*row[0]);
    } catch (const std::exception&) {
        return; // only a notice: the copy that follows reports a connection that failed
    }
    for (const auto& name : found)
        events_.notice("The database holds a table named " + name +
                       ". Earlier versions of this program left their work tables under that "
                       "name, so it may be a leftover; it was left as it is. If nobody needs it, "
                       "drop it with: DROP TABLE " +
                       bracketed(name));
}

void Job::showNewTable() {
    if (!events_.wantsResult()) return;
    std::shared_ptr<db::RecordSet> result;
    run_.step(238, [&] {
        auto rs = std::make_shared<db::RecordSet>();
        rs->open(selectNewTable(newName()), connection());
        rs->holdConnection(connection_);
        result = std::move(rs);
    });
    if (result) run_.step(240, [&] { events_.showResult(result); });
}

JobOutcome Job::run() {
    JobOutcome out;
    if (auto why = RefuseNewName(s_.newName(), s_.selectedTable)) {
        out.refusal = why;
        return out;
    }
    if (!s_.removedInto.empty())
        if (auto why = RefuseRemovedName(s_.removedInto, s_.newName(), s_.selectedTable)) {
            out.refusal = why;
            return out;
        }
    try {
        connect();
        readMetadata();
        if (!checkName(newName(), replace_, out)) return finish(out);
        if (!s_.removedInto.empty() && !checkName(s_.removedInto, replaceRemoved_, out))
            return finish(out);
        if (s_.onServer) {
            makeWorkTable();
            makeTablesOnServer(out);
            if (nothingRepeats_) run_.step(242, [&] { events_.noDuplicates(); });
        } else {
            if (!anyKeyRepeats()) {
                run_.step(242, [&] { events_.noDuplicates(); });
                return finish(out);
            }
            makeWorkTable();
            findRepeatsInWorkTable();
            if (doomed_.empty()) {
                // The copy has no repeats: another session changed the source between the two
                // reads, or two keys of the first read only shared a hash.
                run_.step(242, [&] { events_.noDuplicates(); });
            } else {
                if (leftOut_.empty() && !s_.removedInto.empty())
                    leaveOutByList();
                else if (leftOut_.empty())
                    deleteRepeats(identity_.empty() ? 226 : 224);
                makeNewTable(out, copies());
            }
        }
        // The server drops the work table with the session as well; this frees it now.
        if (!reconnected_) run_.step(236, [&] { connection().execute(dropWorkTable(work_)); });
        if (out.newTableMade) showNewTable();
    } catch (const Stop&) {
        out.cancelled = cancelled();
        if (out.notMade.empty())
            out.notMade = out.cancelled ? "The job was stopped; the new table was not made."
                                        : "The new table was not made because a step failed.";
        // The work table goes with the session: the connection is let go here unless the
        // result's grid holds it.
        connection_.reset();
    }
    return finish(out);
}

} // namespace

const char* phaseName(Phase p) {
    switch (p) {
    case Phase::Connecting:
        return "connecting";
    case Phase::Reading:
        return "reading rows";
    case Phase::Searching:
        return "finding duplicates";
    case Phase::Copying:
        return "copying the table";
    case Phase::Numbering:
        return "finding duplicates in the copy";
    case Phase::Deleting:
        return "deleting duplicates";
    case Phase::Finishing:
        return "creating the new table";
    case Phase::Done:
        return "done";
    }
    return "";
}

std::optional<std::string> RefuseNewName(const std::string& newName,
                                         const std::string& sourceTable) {
    const QString name = serverName(newName);
    if (name.trimmed().isEmpty()) return "Please enter a name for the new table.";
    if (sameServerName(newName, sourceTable))
        return "The new table needs a name of its own: \"" + newName +
               "\" is the table being cleaned, which is never changed.";
    if (name.startsWith('#'))
        return "\"" + newName +
               "\" would be a temporary table, gone when the job ends. Please choose another name.";
    if (name.startsWith(QString::fromUtf8(kWorkTable.data(), kWorkTable.size()),
                        Qt::CaseInsensitive))
        return "\"" + newName +
               "\" is a name the work tables use. Please choose another name for the new table.";
    return std::nullopt;
}

std::optional<std::string> RefuseRemovedName(const std::string& removedName,
                                             const std::string& newName,
                                             const std::string& sourceTable) {
    if (auto why = RefuseNewName(removedName, sourceTable))
        return "The table for the removed rows: " + *why;
    if (sameServerName(removedName, newName))
        return "The removed rows need a table of their own, not the new table \"" + newName + "\".";
    return std::nullopt;
}

JobOutcome RunJob(const JobSettings& settings, JobEvents& events) {
    return Job(settings, events).run();
}

} // namespace rowlark::dedupe
