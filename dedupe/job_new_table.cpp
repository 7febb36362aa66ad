#include "job_run.h"

#include "sql_text.h"

#include <algorithm>
#include <stdexcept>

namespace rowlark::dedupe::detail {

// What the plan needs on the server before the transaction: the repeats deleted from the copy, or
// their numbers listed. Runs and the server's ranking need nothing.
void Job::prepare(const JobPlan& plan) {
    if (plan.is<plan::DeleteRepeats>()) deleteRepeats(plan.repeats, identity_.empty() ? 226 : 224);
    if (plan.is<plan::ListNumbers>()) listRepeats(plan.repeats);
}

// The repeats' numbers, a batch of them at a time, to a statement that must touch exactly the
// rows it names (`done` is told each batch); `fault(touched, named)` says what it means when one
// does not.
template <class Statement, class Done, class Fault>
void Job::forEachBatch(const std::vector<std::int64_t>& numbers, Statement&& statement, Done&& done,
                       Fault&& fault) {
    const std::size_t batch = std::max<std::size_t>(1, s_.deleteBatch);
    std::vector<std::string> part;
    for (std::size_t at = 0; at < numbers.size(); at += batch) {
        part.clear();
        for (std::size_t i = at; i < std::min(numbers.size(), at + batch); ++i)
            part.push_back(std::to_string(numbers[i]));
        const long long touched = connection().execute(statement(part));
        if (touched != static_cast<long long>(part.size()))
            throw std::runtime_error(fault(std::to_string(touched), std::to_string(part.size())));
        done(part.size());
        tick();
    }
}

void Job::deleteRepeats(const std::vector<std::int64_t>& repeats, int line) {
    phase(Phase::Deleting);
    must(214, [&] { connection().execute(indexWorkTable(work_, numberBy_)); });
    // Deletes go by lists; each must remove exactly the rows it names, or the copy is not what
    // the search decided and no new table is made from it.
    must(line, [&] {
        forEachBatch(
            repeats, [&](const auto& part) { return deleteMany(work_, numberBy_, part); },
            [&](std::size_t n) { counts_.deleted += n; },
            [](const std::string& removed, const std::string& named) {
                return "A delete removed " + removed + " rows of the work table where it named " +
                       named + ". No new table was made.";
            });
    });
}

// The numbers of the repeats into a session table of their own, a thousand a statement, each
// checked: the new table and the removed rows' table are then copied by it, and nothing is
// deleted.
void Job::listRepeats(const std::vector<std::int64_t>& repeats) {
    phase(Phase::Deleting);
    must(230, [&] { connection().execute(createNumberList(kNumberList)); });
    must(232, [&] {
        forEachBatch(
            repeats, [&](const auto& part) { return insertNumbers(kNumberList, part); },
            [](std::size_t) {},
            [](const std::string&, const std::string&) {
                return std::string("The numbers of the rows to leave out did not all "
                                   "arrive. No new table was made.");
            });
    });
}

CopyTargets Job::copyTargets() const {
    CopyTargets to;
    to.columns = columns_;
    to.workTable = work_;
    to.numberBy = numberBy_;
    to.newName = s_.newName;
    to.removedInto = s_.removedInto;
    to.workRows = workRows_;
    to.duplicateColumns = s_.duplicateColumns;
    to.orderBy = s_.orderBy;
    to.keepLast = s_.keepLast;
    std::vector<std::string> taken = columns_;
    taken.push_back(numberBy_);
    to.rankColumn = freeColumnName(kRankColumn, taken);
    return to;
}

// Notes what the names hold before (a commit whose answer is lost is judged by it), then begins
// the transaction and drops the tables to be replaced. The rows are counted only where nothing
// else may tell the old table from the new one.
std::vector<CommitTarget> Job::beginTransaction() {
    std::vector<CommitTarget> targets(s_.removedInto.empty() ? 1 : 2);
    targets[0].name = s_.newName;
    if (targets.size() > 1) targets[1].name = s_.removedInto;
    for (auto& t : targets) {
        t.before = ReadTableState(connection(), t.name, false);
        if (t.before.id && t.before.columns == columns_)
            t.before = ReadTableState(connection(), t.name, true);
    }
    connection().beginTransaction();
    if (replace_) connection().execute(dropIfExists(s_.newName));
    if (replaceRemoved_) connection().execute(dropIfExists(s_.removedInto));
    return targets;
}

namespace {
void expectRows(const char* what, long long got, long long want) {
    if (want >= 0 && got != want)
        throw std::runtime_error(std::string(what) + " would have held " + std::to_string(got) +
                                 " rows where " + std::to_string(want) +
                                 " were expected. No new table was made.");
}
} // namespace

// The replaced tables' drops and the copies take effect together or not at all: a failing copy
// leaves the old tables as they were.
void Job::makeNewTable(const JobPlan& plan, JobOutcome& out) {
    phase(Phase::Finishing);
    const Copies copies = CopiesFor(plan, copyTargets());
    std::vector<CommitTarget> targets;
    const bool begun = run_.step(200, [&] { targets = beginTransaction(); });
    long long rows = 0, removed = 0;
    bool allKept = false;
    const bool copied = begun && run_.step(234, [&] {
        rows = connection().execute(copies.keep);
        if (copies.undoWhenAllKept && rows == workRows_) {
            allKept = true;
            return;
        }
        expectRows("The new table", rows, copies.keepRows);
        if (!copies.removed.empty()) {
            removed = connection().execute(copies.removed);
            expectRows("The table of the removed rows", removed, copies.removedRows);
        }
        if (copies.total) expectRows("The two new tables", rows + removed, workRows_);
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
    // On the server the copy's rows are the rows read.
    const bool ranked = plan.is<plan::RankOnServer>();
    const auto copyRows = static_cast<std::uint64_t>(std::max(0LL, workRows_));
    if (allKept) {
        connection().rollback();
        nothingRepeats_ = true;
        counts_.rowsRead = copyRows;
        return;
    }
    commit(out, targets);
    if (copies.keepRows >= 0) counts_.deleted = plan.repeats.size();
    out.newTableMade = true;
    out.newTableRows = static_cast<std::uint64_t>(std::max(0LL, rows));
    out.removedTableMade = !copies.removed.empty();
    out.removedRows = static_cast<std::uint64_t>(std::max(0LL, removed));
    if (ranked) {
        counts_.rowsRead = copyRows;
        counts_.duplicates = counts_.rowsRead - std::min(counts_.rowsRead, out.newTableRows);
        counts_.deleted = counts_.duplicates;
    }
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

} // namespace rowlark::dedupe::detail
