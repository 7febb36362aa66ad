#include "job.h"

#include "keys.h"
#include "sql_text.h"
#include "step_runner.h"

#include <QString>

#include <chrono>
#include <stdexcept>

namespace rowlark::dedupe {
namespace {

using Clock = std::chrono::steady_clock;

// Older than this, a work table belongs to no running job.
constexpr long long kLeftoverAgeSeconds = 6 * 3600;

QString serverName(const std::string& name) {
    QString s = QString::fromStdString(name);
    while (s.endsWith(' '))
        s.chop(1); // the server ignores trailing blanks in names
    return s;
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

class Job {
public:
    Job(const JobSettings& s, JobEvents& events)
        : s_(s), events_(events),
          run_([this](int line, const std::string& d) { events_.report(line, d); }) {}

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
    // Reads one statement's rows: the first column into `numbers` when given, the rest into keys.
    void readKeys(const std::string& sql, TextList* numbers, TextList& keys);
    void deleteRows(const std::string& column, const std::vector<std::string>& values, int line);

    const JobSettings& s_;
    JobEvents& events_;
    StepRunner run_;
    JobOutcome finish(JobOutcome& out) {
        phase(Phase::Done);
        out.counts = counts_;
        out.failedSteps = run_.failures();
        return out;
    }
    void dropLeftoverWorkTables();
    void dropOwnWorkTableAfterAll();

    std::shared_ptr<db::Connection> connection_;
    const std::string work_ = newWorkTableName();
    Progress counts_;
    Clock::time_point lastProgress_;
};

void Job::readKeys(const std::string& sql, TextList* numbers, TextList& keys) {
    db::Statement st(connection());
    st.execute(sql);
    std::vector<db::Value> row;
    const std::size_t first = numbers ? 1 : 0;
    counts_.rowsRead = 0;
    while (st.fetch(row)) {
        if (numbers) numbers->push(row[0] ? *row[0] : std::string("NULL"));
        std::string& key = keys.open();
        for (std::size_t i = first; i < row.size(); ++i)
            appendKeyValue(key, row[i]);
        keys.push();
        if ((++counts_.rowsRead & 4095) == 0) tick();
    }
    counts_.keyBytes = std::max<std::uint64_t>(counts_.keyBytes, keys.bytes());
}

void Job::deleteRows(const std::string& column, const std::vector<std::string>& values, int line) {
    // Errors by text, in the order first seen: one report each, however many rows failed with it.
    std::vector<std::pair<std::string, std::size_t>> errors;
    auto failed = [&](const std::string& description) {
        for (auto& e : errors)
            if (e.first == description) return void(++e.second);
        errors.emplace_back(description, 1);
    };
    const std::size_t batch = std::max<std::size_t>(1, s_.deleteBatch);
    for (std::size_t at = 0; at < values.size(); at += batch) {
        std::vector<std::string> part(values.begin() + at,
                                      values.begin() + std::min(values.size(), at + batch));
        try {
            connection().execute(deleteMany(work_, column, part));
            counts_.deleted += part.size();
        } catch (...) {
            // One statement fails as a whole; one by one, every row that can go goes, and each
            // one that cannot is counted under its error.
            for (const auto& v : part) {
                try {
                    connection().execute(deleteOne(work_, column, v));
                    ++counts_.deleted;
                } catch (...) {
                    failed(StepRunner::describe(std::current_exception()));
                }
            }
        }
        tick();
    }
    for (const auto& [description, count] : errors) {
        std::string text = description;
        if (count > 1)
            text += "\r\n(" + std::to_string(count) + " of " + std::to_string(values.size()) +
                    " duplicate rows could not be deleted with this error.)";
        events_.report(line, text);
    }
}

// Work tables of runs that ended without dropping theirs: the fixed name of earlier versions, and
// this version's own names once they are older than any run lasts. A younger one may belong to a
// job running now on another machine, so it stays.
void Job::dropLeftoverWorkTables() {
    connection().execute(dropIfExists(kWorkTable));
    std::vector<std::string> names;
    {
        db::Statement st(connection());
        st.execute(workTablesQuery());
        std::vector<db::Value> row;
        while (st.fetch(row))
            if (row.at(0)) names.push_back(*row[0]);
    }
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    for (const auto& name : names)
        if (auto started = workTableStarted(name); started && now - *started > kLeftoverAgeSeconds)
            connection().execute(dropIfExists(name));
}

// When the connection broke before the work table was dropped, a fresh one drops it, so that even
// a run that fails leaves nothing behind. Failing here adds nothing to what was reported.
void Job::dropOwnWorkTableAfterAll() {
    try {
        db::Connection again;
        again.setLoginTimeout(15);
        again.setQueryTimeout(s_.timeoutSeconds);
        again.open(s_.connectionString);
        again.execute(dropIfExists(work_));
    } catch (...) {
    }
}

JobOutcome Job::run() {
    JobOutcome out;
    if (auto why = RefuseNewName(s_.newName(), s_.selectedTable)) {
        out.refusal = why;
        return out;
    }
    phase(Phase::Connecting);
    run_.step(100, [&] { connection_ = std::make_shared<db::Connection>(); });
    run_.step(114, [&] {
        if (connection_) connection_->setCursorLocation(db::CursorLocation::Client);
    });
    run_.step(116, [&] {
        if (connection_) connection_->setQueryTimeout(s_.timeoutSeconds);
    });
    run_.step(118, [&] {
        if (connection_) connection_->setLoginTimeout(s_.timeoutSeconds);
    });
    run_.step(s_.localConnection ? 122 : 124, [&] {
        if (!connection_) throw std::runtime_error("The connection could not be created.");
        connection_->open(s_.connectionString);
    });

    // The identity column: the first one the driver marks as such, of an exact integer type.
    std::string identity;
    run_.step(126, [&] {
        db::RecordSet fields;
        fields.open(metadataQuery(s_.selectedTable), connection());
        for (const auto& f : fields.fields())
            if (f.identity && isExactInteger(f)) {
                identity = f.name;
                break;
            }
    });

    phase(Phase::Reading);
    TextList keys, identityValues;
    const bool read =
        identity.empty()
            ? run_.step(
                  168,
                  [&] { readKeys(keyQuery(s_.duplicateColumns, s_.selectedTable), nullptr, keys); })
            : run_.step(142, [&] {
                  readKeys(identityKeyQuery(identity, s_.duplicateColumns, s_.selectedTable),
                           &identityValues, keys);
              });
    if (!read) {
        // Without all the rows nothing can be said about duplicates, and nothing is changed.
        return finish(out);
    }

    phase(Phase::Searching);
    std::vector<std::int32_t> positions;
    run_.step(196, [&] { positions = FindDuplicatePositions(keys); });
    counts_.duplicates = positions.size();
    if (positions.empty()) {
        run_.step(242, [&] { events_.noDuplicates(); });
        return finish(out);
    }

    // The rows to delete, highest position first, named by identity value or work number.
    std::vector<std::string> doomed;
    if (!identity.empty())
        for (std::int32_t p : positions)
            doomed.emplace_back(identityValues[static_cast<std::size_t>(p) - 1]);
    keys.clear();
    identityValues.clear();
    positions.clear();
    positions.shrink_to_fit();

    phase(Phase::Copying);
    run_.step(200, [&] { connection().execute(dropIfExists(newName())); });
    run_.step(202, [&] { dropLeftoverWorkTables(); });
    run_.step(204, [&] { connection().execute(copyIntoWorkTable(s_.selectedTable, work_)); });
    std::string deleteColumn = identity;
    if (identity.empty()) {
        deleteColumn = kWorkColumn;
        phase(Phase::Numbering);
        run_.step(208, [&] { connection().execute(addWorkColumn(work_)); });
        // The positions come from the work table itself, with each row's own number, so the numbers
        // deleted are those of the repeating rows whatever order any other read returned.
        run_.step(210, [&] {
            TextList numbers, workKeys;
            readKeys(workKeyQuery(s_.duplicateColumns, work_), &numbers, workKeys);
            for (std::int32_t p : FindDuplicatePositions(workKeys))
                doomed.emplace_back(numbers[static_cast<std::size_t>(p) - 1]);
            counts_.duplicates = doomed.size();
        });
    }
    run_.step(214, [&] { connection().execute(indexWorkTable(work_, deleteColumn)); });

    phase(Phase::Deleting);
    deleteRows(deleteColumn, doomed, identity.empty() ? 226 : 224);

    phase(Phase::Finishing);
    run_.step(234,
              [&] { connection().execute(copyIntoNewTable(s_.allColumns, newName(), work_)); });
    if (!run_.step(236, [&] { connection().execute(dropWorkTable(work_)); }))
        dropOwnWorkTableAfterAll();
    std::shared_ptr<db::RecordSet> result;
    run_.step(238, [&] {
        auto rs = std::make_shared<db::RecordSet>();
        rs->open(selectNewTable(newName()), connection());
        rs->holdConnection(connection_);
        result = std::move(rs);
    });
    run_.step(240, [&] {
        if (!result) throw std::runtime_error("The new table could not be read.");
        events_.showResult(result);
    });
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
        return "numbering rows";
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
    if (name.compare(serverName(sourceTable), Qt::CaseInsensitive) == 0)
        return "The new table needs a name of its own: \"" + newName +
               "\" is the table being cleaned, which is never changed.";
    if (name.startsWith(QString::fromUtf8(kWorkTable.data(), kWorkTable.size()),
                        Qt::CaseInsensitive))
        return "\"" + newName +
               "\" is a name the work tables use. Please choose another name for the new table.";
    return std::nullopt;
}

JobOutcome RunJob(const JobSettings& settings, JobEvents& events) {
    return Job(settings, events).run();
}

} // namespace rowlark::dedupe
