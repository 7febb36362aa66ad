#include "job_run.h"

#include "sql_text.h"

#include <stdexcept>

namespace rowlark::dedupe {
namespace detail {
namespace {

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

} // namespace

Job::Job(const JobSettings& s, JobEvents& events)
    : s_(s), events_(events), run_([this](int line, const std::string& d) {
          // What fails because the user stopped the job is no error to report.
          if (cancelled()) return;
          ++reported_;
          events_.report(line, d);
      }) {}

db::Connection& Job::connection() {
    if (!connection_ || !connection_->isOpen())
        throw std::runtime_error("The connection is not open.");
    return *connection_;
}

void Job::phase(Phase p) {
    counts_.phase = p;
    events_.progress(counts_);
    lastProgress_ = Clock::now();
}

void Job::tick() {
    if (Clock::now() - lastProgress_ < std::chrono::milliseconds(100)) return;
    events_.progress(counts_);
    lastProgress_ = Clock::now();
}

JobOutcome Job::finish(JobOutcome& out) {
    phase(Phase::Done);
    out.counts = counts_;
    out.failedSteps = reported_;
    return out;
}

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

// Earlier versions made a permanent work table of this name. One that exists now may be such a
// leftover, or a table of the user's: it is never dropped, only pointed out.
void Job::noticeOldWorkTable() {
    std::vector<std::string> found;
    try {
        db::Statement st(connection());
        st.execute(oldWorkTableQuery());
        std::vector<db::Value> row;
        while (st.fetch(row))
            if (row.at(0) && !SameServerName(*row[0], s_.selectedTable)) found.push_back(*row[0]);
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
        rs->open(selectNewTable(s_.newName), connection());
        rs->holdConnection(connection_);
        result = std::move(rs);
    });
    if (result) run_.step(240, [&] { events_.showResult(result); });
}

// The plan follows from what the search found (or, on the server, from the server's ranking); the
// statements follow from the plan.
JobOutcome Job::run() {
    JobOutcome out;
    // The names are checked once, before anything is sent: the source table is never the one
    // dropped, and nothing below reads another name.
    if (auto why = RefuseNewName(s_.newName, s_.selectedTable)) {
        out.refusal = why;
        return out;
    }
    if (!s_.removedInto.empty())
        if (auto why = RefuseRemovedName(s_.removedInto, s_.newName, s_.selectedTable)) {
            out.refusal = why;
            return out;
        }
    try {
        connect();
        readMetadata();
        if (!checkName(s_.newName, replace_, out)) return finish(out);
        if (!s_.removedInto.empty() && !checkName(s_.removedInto, replaceRemoved_, out))
            return finish(out);
        std::optional<JobPlan> plan;
        if (s_.onServer) {
            makeWorkTable();
            plan = JobPlan{plan::RankOnServer{}, {}};
        } else {
            if (!anyKeyRepeats()) {
                run_.step(242, [&] { events_.noDuplicates(); });
                return finish(out);
            }
            makeWorkTable();
            // None in the copy: another session changed the source between the two reads, or
            // two keys of the first read only shared a hash.
            plan = findRepeatsInWorkTable();
        }
        if (plan) {
            prepare(*plan);
            makeNewTable(*plan, out);
        }
        if (!plan || nothingRepeats_) run_.step(242, [&] { events_.noDuplicates(); });
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

} // namespace detail

const char* phaseName(Phase p) {
    switch (p) {
    case Phase::Connecting:
        return "connecting";
    case Phase::Reading:
        return "reading rows";
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

JobOutcome RunJob(const JobSettings& settings, JobEvents& events) {
    return detail::Job(settings, events).run();
}

} // namespace rowlark::dedupe
