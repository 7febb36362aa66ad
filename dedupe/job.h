// The duplicate-removal job behind "Finish": from the chosen table and columns, a new table with
// every row except the later repeats. Free of widgets; the finish page and rowlark-dedupe are two
// front ends on it.
#pragma once

#include "db/cancel.h"
#include "db/connection.h"
#include "db/record_set.h"
#include "names.h"
#include "sql_text.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rowlark::dedupe {

struct JobSettings {
    std::string connectionString;
    bool localConnection = false; // which opening step a failure names (122 or 124)
    std::string selectedTable;    // as listed, without brackets; its columns are read afresh
    // The columns that define a duplicate, by name as the table has them, in the order chosen.
    std::vector<std::string> duplicateColumns;
    // Which row of each group stays: the first in the table's own order, or the first in the
    // order given (ties going by the table's own order); `keepLast` takes the last instead. The
    // server sorts, by its types and collations, NULL first as it sorts them.
    std::vector<OrderColumn> orderBy;
    bool keepLast = false;
    // A second new table for the rows left out, made in the same transaction as the new table
    // (both or neither); empty: none. The same rules as the new table's name hold.
    std::string removedInto;
    // The whole job as statements on the server, nothing but counts travelling: the server's own
    // comparison (its collations; NULL apart from an empty value) decides what repeats.
    bool onServer = false;
    // The new table's name, checked once when the job starts (RefuseNewName).
    std::string newName;
    // Seconds each statement may run: a copy of a big table may take an hour.
    int timeoutSeconds = 5000;
    // Seconds the login may take; a server that stops answering in the login fails it then.
    int loginTimeoutSeconds = db::kDefaultLoginTimeout;
    std::size_t deleteBatch = 1000;
    // Runs of neighbouring repeats the new table's copy may leave out by its condition (an
    // import run twice has one); with more, the repeats are deleted from the copy first.
    std::size_t maxLeftOutRuns = 64;
    // Bytes the search for repeats may hold in memory before its keys go to temporary files;
    // 0: half of the memory available when the job starts.
    std::uint64_t memoryBudget = 0;
    // The folder the key files go under past the budget (see OpenSpillFiles); empty: the
    // system's temporary folder ($TMPDIR, else /tmp; on Windows the user's).
    std::string spillDir;
    // Pulled from another thread, it stops the statement running now (or the login); the job
    // then ends without a new table unless the new table was already committed, and its work
    // table goes with its connection.
    std::shared_ptr<db::CancelSwitch> cancel;
    // When the commit's answer does not come, fresh logins ask the server what it holds, for at
    // most this long.
    std::chrono::milliseconds commitCheckWithin = std::chrono::seconds(30);
};

// The job's phases, in the order it goes through them (a job skips those it does not need).
enum class Phase { Connecting, Reading, Copying, Numbering, Deleting, Finishing, Done };
const char* phaseName(Phase phase);

struct Progress {
    Phase phase = Phase::Connecting;
    std::uint64_t rowsRead = 0;
    std::uint64_t duplicates = 0; // rows found to repeat an earlier row
    std::uint64_t deleted = 0;
    std::uint64_t keyBytes = 0; // the text of the keys read, for measuring the job's memory
    // Where the new table's commit stands: once Sent, a stop may come too late to undo it; once
    // Done, the new table is made whatever comes after.
    enum class Commit { NotYet, Sent, Done } commit = Commit::NotYet;
};

class JobEvents {
public:
    virtual ~JobEvents() = default;
    // Called at each phase and, within a phase, at most every few tenths of a second.
    virtual void progress(const Progress&) {}
    // A failing step: its number and the error's text. A step that later steps need stops the
    // job; one they do not need (the drop of the work table, the result's read) does not.
    virtual void report(int line, const std::string& description) = 0;
    // Something the user should know that is no failure (a table named like the old work table).
    virtual void notice(const std::string& /*text*/) {}
    // No row repeats another: nothing was created, changed or dropped.
    virtual void noDuplicates() = 0;
    // The new table, to show; the record set keeps its connection open. Not read at all when
    // wantsResult() says no.
    virtual void showResult(std::shared_ptr<db::RecordSet> newTable) = 0;
    virtual bool wantsResult() const { return true; }
    // A table of the new name exists: true replaces it when the new table is made, false stops
    // the job before anything is created or dropped.
    virtual bool replaceExisting(const std::string& /*name*/) { return false; }
};

struct JobOutcome {
    // The job stopped before it changed anything: the name was refused, or names an object that
    // is not a table, or a table that is not to be replaced.
    std::optional<std::string> refusal;
    Progress counts;
    int failedSteps = 0; // reported failures; what fails because the job was stopped is none
    bool newTableMade = false;
    bool removedTableMade = false; // with removedInto: made together with the new table
    std::uint64_t removedRows = 0;
    // The server's answer to the commit never came (the connection was cut or stopped), and a
    // fresh connection could not learn whether the new table exists: notMade says so and how to
    // look. When it could, the outcome is made or not made as the server said.
    bool commitUnknown = false;
    // The answer to the commit was lost and a fresh connection found the new table made.
    bool commitConfirmed = false;
    std::uint64_t newTableRows = 0;
    // Why no new table was made although rows repeat (a failed step says more).
    std::string notMade;
    bool cancelled = false; // stopped through the cancel switch
};

// Runs the job. It stops at the first failing step that later steps need; each failure is
// reported once.
JobOutcome RunJob(const JobSettings& settings, JobEvents& events);

} // namespace rowlark::dedupe
