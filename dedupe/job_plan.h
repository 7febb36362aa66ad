// How the job makes the new table from its work table, chosen once it knows which rows repeat,
// and the statements that follow from that choice. How the repeats were found (the keys read and
// compared here, or another way that yields their numbers) does not matter to the plan; only
// RankOnServer leaves the finding to the server itself.
#pragma once

#include "sql_text.h"

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace rowlark::dedupe {

namespace plan {
// The repeats stand in few runs of neighbouring rows: the new table is copied without them (and
// the removed rows' table with only them), by a condition on the numbers. Nothing is deleted.
struct LeaveOutRuns {
    std::vector<NumberRange> runs;
};
// Too many runs for a condition, and the removed rows are wanted too: the repeats' numbers go
// first into a session table (kNumberList), and both copies go by it.
struct ListNumbers {};
// Too many runs, and only the new table is wanted: the repeats are deleted from the work table
// in lists, each delete checked, and the new table is what is left.
struct DeleteRepeats {};
// The server ranks each group's rows in the order asked for and keeps the first; nothing is known
// before the copy, and a copy that keeps every row means nothing repeats.
struct RankOnServer {};
} // namespace plan

struct JobPlan {
    std::variant<plan::LeaveOutRuns, plan::ListNumbers, plan::DeleteRepeats, plan::RankOnServer>
        way;
    // The numbers of the rows left out, last read first (none for RankOnServer).
    std::vector<std::int64_t> repeats;

    template <class Way> bool is() const { return std::holds_alternative<Way>(way); }
};

// The plan for repeats found by the program: runs when there are at most `maxRuns` of them
// (`runs` as runsOf gives them, empty when there are more), else a list when the removed rows'
// table is wanted, else deletes.
JobPlan ChoosePlan(std::vector<std::int64_t> repeats, std::vector<NumberRange> runs,
                   bool removedTable);

// What the copies are made from and into.
struct CopyTargets {
    std::vector<std::string> columns; // the source's, in order
    std::string workTable, numberBy;  // the work table, and its column that names a row
    std::string newName, removedInto; // removedInto empty: no table of the removed rows
    long long workRows = 0;           // the rows the work table was made with
    // For RankOnServer: how groups are formed and ranked, and a column name free for the rank.
    std::vector<std::string> duplicateColumns;
    std::vector<OrderColumn> orderBy;
    bool keepLast = false;
    std::string rankColumn;
};

// The statements that make the new table (and the removed rows' table) in the one transaction,
// with the rows each must hold (-1: not known before).
struct Copies {
    std::string keep, removed;
    long long keepRows = -1, removedRows = -1;
    // The two must hold the work table's rows between them.
    bool total = false;
    // The server decides: a new table that keeps every row means nothing repeats, and the
    // transaction is undone (any table it replaced stays).
    bool undoWhenAllKept = false;
};
Copies CopiesFor(const JobPlan& plan, const CopyTargets& to);

} // namespace rowlark::dedupe
