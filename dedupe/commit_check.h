// After a commit whose answer never came (the connection cut, a time-out, a stop): a fresh
// connection asks the server what it holds, so the job says what is true rather than a guess.
#pragma once

#include "db/cancel.h"
#include "db/connection.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rowlark::dedupe {

// What a name held at one moment: a table's id (none: no table), its columns and rows (rows
// unknown: -1).
struct TableState {
    std::optional<std::int64_t> id;
    std::vector<std::string> columns;
    long long rows = -1;
};

// A table the transaction made: what its name held before and what the transaction left there.
// A server may give the new table the id of the one it replaced; then the columns and rows tell
// the two apart, where they differ.
struct CommitTarget {
    std::string name;
    TableState before;
    TableState made;
};

enum class CommitVerdict { Made, NotMade, Unknown };

struct CommitCheck {
    CommitVerdict verdict = CommitVerdict::Unknown;
    // Open when the tables were made: what the job does next goes through it.
    std::shared_ptr<db::Connection> connection;
    std::string lastError; // why the server could not be asked, when it could not
};

// The verdict that what a fresh look found allows: every table as the transaction left it
// (Made); every name as it was before (NotMade); anything else, or findings that fit both,
// Unknown.
CommitVerdict Judge(const std::vector<CommitTarget>& targets, const std::vector<TableState>& seen);

// What the name holds now, through the connection: its id and, for a table, its columns and
// (with `count`) rows.
TableState ReadTableState(db::Connection& connection, const std::string& name, bool count);

struct CommitCheckLimits {
    std::chrono::milliseconds within = std::chrono::seconds(30); // all tries together
    int loginTimeoutSeconds = db::kDefaultLoginTimeout;
};

// Logs in afresh, as often as the time allows, and judges what the server holds. `cancel`
// (a follower of the job's switch) ends the tries at once: the verdict is then Unknown.
CommitCheck CheckCommit(const std::string& connectionString,
                        const std::vector<CommitTarget>& targets, const CommitCheckLimits& limits,
                        const std::shared_ptr<db::CancelSwitch>& cancel);

} // namespace rowlark::dedupe
