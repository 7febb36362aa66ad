#include "job_run.h"

#include "finder.h"
#include "work_reads.h"

#include <algorithm>
#include <stdexcept>

namespace rowlark::dedupe::detail {

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

// The repeats in the job's own copy, and the plan for them. Without an order the row that stays is
// the first by number: the identity's order, or the copy's numbering. The copy is read as it is
// stored, which is that order nearly always; a read that meets a number lower than the one before
// it is read again, sorted.
std::optional<JobPlan> Job::findRepeatsInWorkTable() {
    phase(Phase::Numbering);
    std::vector<std::int64_t> repeats, numbers;
    must(210, [&] {
        if (!readWorkKeys(false, repeats, numbers)) readWorkKeys(true, repeats, numbers);
    });
    if (repeats.empty()) return std::nullopt;
    // With the search's memory given back: the runs need a sorted copy of the numbers.
    std::vector<NumberRange> runs;
    must(210, [&] {
        runs = runsOf(repeats, identity_.empty() ? nullptr : &numbers, s_.maxLeftOutRuns);
    });
    return ChoosePlan(std::move(repeats), std::move(runs), !s_.removedInto.empty());
}

bool Job::readWorkKeys(bool sorted, std::vector<std::int64_t>& repeats,
                       std::vector<std::int64_t>& numbersRead) {
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
    repeats = finder.repeats();
    counts_.duplicates = repeats.size();
    if (finder.spilled())
        events_.notice("The keys did not fit the memory budget and went to temporary files. "
                       "rowlark-dedupe --on-server has the server do the whole job instead, "
                       "no key leaving it (by the server's own comparison of values).");
    if (!identity_.empty()) numbersRead = std::move(numbers);
    return true;
}

} // namespace rowlark::dedupe::detail
