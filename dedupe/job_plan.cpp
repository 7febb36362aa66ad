#include "job_plan.h"

namespace rowlark::dedupe {

JobPlan ChoosePlan(std::vector<std::int64_t> repeats, std::vector<NumberRange> runs,
                   bool removedTable) {
    JobPlan p;
    if (!runs.empty())
        p.way = plan::LeaveOutRuns{std::move(runs)};
    else if (removedTable)
        p.way = plan::ListNumbers{};
    else
        p.way = plan::DeleteRepeats{};
    p.repeats = std::move(repeats);
    return p;
}

Copies CopiesFor(const JobPlan& p, const CopyTargets& to) {
    const bool removed = !to.removedInto.empty();
    const auto left = static_cast<long long>(p.repeats.size());
    Copies c;
    if (const auto* r = std::get_if<plan::LeaveOutRuns>(&p.way)) {
        c.keep =
            copyIntoNewTableLeavingOut(to.columns, to.newName, to.workTable, to.numberBy, r->runs);
        if (removed)
            c.removed =
                copyRowsInRanges(to.columns, to.removedInto, to.workTable, to.numberBy, r->runs);
        c.keepRows = to.workRows - left, c.removedRows = left;
    } else if (p.is<plan::ListNumbers>()) {
        c.keep =
            copyRowsListed(to.columns, to.newName, to.workTable, to.numberBy, kNumberList, false);
        c.removed = copyRowsListed(to.columns, to.removedInto, to.workTable, to.numberBy,
                                   kNumberList, true);
        c.keepRows = to.workRows - left, c.removedRows = left;
    } else if (p.is<plan::DeleteRepeats>()) {
        // The repeats were deleted, each delete checked: what is left is the new table.
        c.keep = copyIntoNewTable(to.columns, to.newName, to.workTable);
    } else {
        c.undoWhenAllKept = true;
        c.keep = copyRankedRows(to.columns, to.newName, to.workTable, to.duplicateColumns,
                                to.orderBy, to.keepLast, to.numberBy, to.rankColumn, true);
        if (removed) {
            c.removed =
                copyRankedRows(to.columns, to.removedInto, to.workTable, to.duplicateColumns,
                               to.orderBy, to.keepLast, to.numberBy, to.rankColumn, false);
            c.total = true;
        }
    }
    return c;
}

} // namespace rowlark::dedupe
