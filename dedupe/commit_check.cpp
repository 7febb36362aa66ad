#include "commit_check.h"

#include "sql_text.h"
#include "work_reads.h"

#include "db/statement.h"

#include <algorithm>
#include <stdexcept>
#include <thread>

namespace rowlark::dedupe {
namespace {

using Clock = std::chrono::steady_clock;

enum : unsigned { kMade = 1, kUntouched = 2 };

bool same(const TableState& seen, const TableState& want) {
    if (!want.id) return !seen.id;
    return seen.id == want.id && seen.columns == want.columns &&
           (want.rows < 0 || seen.rows == want.rows);
}

std::vector<TableState> look(db::Connection& c, const std::vector<CommitTarget>& targets) {
    std::vector<TableState> seen;
    for (const auto& t : targets)
        seen.push_back(ReadTableState(c, t.name, true));
    return seen;
}

// Waits up to `d`, or less when the switch is pulled.
void pause(std::chrono::milliseconds d, const std::shared_ptr<db::CancelSwitch>& cancel) {
    const auto until = Clock::now() + d;
    while (Clock::now() < until && !(cancel && cancel->pulled()))
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

} // namespace

TableState ReadTableState(db::Connection& c, const std::string& name, bool count) {
    TableState state;
    std::vector<db::Value> row;
    {
        db::Statement st(c);
        st.execute(tableIdsQuery({name}));
        if (!st.fetch(row) || row.size() != 1)
            throw std::runtime_error("The server did not say whether " + name + " exists.");
        if (!row[0]) return state;
        state.id = rowNumber(row[0]);
    }
    {
        db::Statement st(c);
        st.execute(metadataQuery(name));
        for (const auto& column : st.columns())
            state.columns.push_back(column.name);
    }
    if (!count) return state;
    db::Statement st(c);
    st.execute(countRowsQuery(name));
    if (!st.fetch(row) || row.empty())
        throw std::runtime_error("The server did not count the rows of " + name + ".");
    state.rows = rowNumber(row[0]);
    return state;
}

CommitVerdict Judge(const std::vector<CommitTarget>& targets, const std::vector<TableState>& seen) {
    unsigned states = kMade | kUntouched;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        if (i >= seen.size()) return CommitVerdict::Unknown;
        states &= (same(seen[i], targets[i].made) ? kMade : 0u) |
                  (same(seen[i], targets[i].before) ? kUntouched : 0u);
    }
    if (states == kMade) return CommitVerdict::Made;
    if (states == kUntouched) return CommitVerdict::NotMade;
    return CommitVerdict::Unknown;
}

CommitCheck CheckCommit(const std::string& connectionString,
                        const std::vector<CommitTarget>& targets, const CommitCheckLimits& limits,
                        const std::shared_ptr<db::CancelSwitch>& cancel) {
    CommitCheck out;
    const auto deadline = Clock::now() + limits.within;
    auto wait = std::chrono::milliseconds(500);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now()).count();
        if (left < 1 || (cancel && cancel->pulled())) break;
        try {
            auto c = std::make_shared<db::Connection>();
            c->setCancelSwitch(cancel);
            c->setLoginTimeout(static_cast<int>(
                std::min<long long>(left, std::max(1, limits.loginTimeoutSeconds))));
            c->setQueryTimeout(static_cast<int>(std::min<long long>(left, 10)));
            c->open(connectionString);
            out.verdict = Judge(targets, look(*c, targets));
            if (out.verdict == CommitVerdict::Made) out.connection = std::move(c);
            return out;
        } catch (const std::exception& e) {
            out.lastError = e.what();
        }
        pause(std::min(wait, std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                   Clock::now())),
              cancel);
        wait *= 2;
    }
    if (out.lastError.empty()) out.lastError = "There was no time left to ask.";
    return out;
}

} // namespace rowlark::dedupe
