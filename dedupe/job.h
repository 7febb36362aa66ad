// The duplicate-removal job behind "Finish": from the chosen table and columns, a new table with
// every row except the later repeats. Free of widgets; the finish page and rowlark-dedupe are two
// front ends on it.
#pragma once

#include "db/cancel.h"
#include "db/record_set.h"

#include <functional>
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
    // The new table's name, read afresh at each use.
    std::function<std::string()> newName;
    int timeoutSeconds = 5000;
    std::size_t deleteBatch = 1000;
    // Bytes the search for repeats may hold in memory before its keys go to temporary files;
    // 0: half of the memory available when the job starts.
    std::uint64_t memoryBudget = 0;
    // Pulled from another thread, it stops the statement running now; the job then ends without
    // a new table, and its work table goes with its connection.
    std::shared_ptr<db::CancelSwitch> cancel;
};

enum class Phase { Connecting, Reading, Searching, Copying, Numbering, Deleting, Finishing, Done };
const char* phaseName(Phase phase);

struct Progress {
    Phase phase = Phase::Connecting;
    std::uint64_t rowsRead = 0;
    std::uint64_t duplicates = 0; // rows found to repeat an earlier row
    std::uint64_t deleted = 0;
    std::uint64_t keyBytes = 0; // the text of the keys read, for measuring the job's memory
};

class JobEvents {
public:
    virtual ~JobEvents() = default;
    // Called at each phase and, within a phase, at most every few tenths of a second.
    virtual void progress(const Progress&) {}
    // A failing step: its number and the error's text. The job goes on with the next step.
    virtual void report(int line, const std::string& description) = 0;
    // No row repeats another: nothing was created, changed or dropped.
    virtual void noDuplicates() = 0;
    // The new table, to show; the record set keeps its connection open.
    virtual void showResult(std::shared_ptr<db::RecordSet> newTable) = 0;
    // A table of the new name exists: true replaces it when the new table is made, false stops
    // the job before anything is created or dropped.
    virtual bool replaceExisting(const std::string& /*name*/) { return false; }
};

struct JobOutcome {
    // The job stopped before it changed anything: the name was refused, or names an object that
    // is not a table, or a table that is not to be replaced.
    std::optional<std::string> refusal;
    Progress counts;
    int failedSteps = 0;
    bool newTableMade = false;
    std::uint64_t newTableRows = 0;
    // Why no new table was made although rows repeat (a failed step says more).
    std::string notMade;
    bool cancelled = false; // stopped through the cancel switch
};

// Why a name cannot be the new table's, or nullopt when it can: empty, the source table itself
// (letter case ignored and Unicode forms equal, as the server compares names), a temporary name,
// or the work tables' name.
std::optional<std::string> RefuseNewName(const std::string& newName,
                                         const std::string& sourceTable);

// Runs the job. Every step runs whatever failed before it; each failure is reported once.
JobOutcome RunJob(const JobSettings& settings, JobEvents& events);

} // namespace rowlark::dedupe
