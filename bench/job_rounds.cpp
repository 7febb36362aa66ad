#include "job_rounds.h"

#include "socket_bytes.h"

#include "dedupe/sql_text.h"

#include <algorithm>
#include <malloc.h>

namespace rowlark::bench {

double seconds(const std::function<void()>& f) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

const char* layoutName(long layout) {
    static const char* names[] = {"spread", "appended", "tail", "none"};
    return names[layout];
}

void fill(db::Connection& c, long rows, long layout) {
    c.execute("CREATE TABLE Big (n int NOT NULL, k int, a nvarchar(24), b nvarchar(24), c float, d "
              "bigint)");
    c.execute("INSERT INTO Big (n) VALUES (1)");
    for (long have = 1; have < rows; have *= 2)
        c.execute("INSERT INTO Big (n) SELECT TOP (" + std::to_string(std::min(have, rows - have)) +
                  ") n + " + std::to_string(have) + " FROM Big");
    // in bigint, as a server computes it: n * n * 40503 passes an int
    const std::string h =
        "((CAST(n AS bigint) * CAST(2654435761 AS bigint) + CAST(n AS bigint) * n "
        "* 40503) % CAST(4294967291 AS bigint))";
    const std::string half = std::to_string(rows / 2), body = std::to_string(rows - rows / 10);
    std::string id;
    switch (layout) {
    case Spread:
        id = "(CASE WHEN " + h + " % 10 = 0 THEN (" + h + " / 10) % n + 1 ELSE n END)";
        break;
    case Appended:
        id = "(CASE WHEN n > " + half + " THEN n - " + half + " ELSE n END)";
        break;
    case Tail:
        id = "(CASE WHEN n > " + body + " THEN " + h + " % " + body + " + 1 ELSE n END)";
        break;
    default:
        id = "n";
    }
    c.execute("UPDATE Big SET k = " + id + ", a = 'name ' + CAST(" + id + " AS nvarchar(10)), " +
              "b = 'city ' + CAST((" + id + ") % 977 AS nvarchar(10)), c = (" + id +
              ") * 0.5, d = (" + id + ") * 3");
}

FilledSandbox::FilledSandbox(long rows, long layout) {
    connection.open(sandbox.connectionString("master"));
    connection.setQueryTimeout(0);
    fill(connection, rows, layout);
}

std::string setBasedStatement(const std::vector<std::string>& keyColumns, const std::string& into) {
    return "SELECT [n], [k], [a], [b], [c], [d] INTO " + dedupe::bracketed(into) +
           " FROM (SELECT *, ROW_NUMBER() OVER (PARTITION BY " + dedupe::bracketList(keyColumns) +
           " ORDER BY (SELECT 0)) AS rn FROM [Big]) AS x WHERE rn = 1";
}

void RecordingEvents::progress(const dedupe::Progress& p) {
    const auto now = std::chrono::steady_clock::now();
    if (p.phase != phase) {
        if (started)
            phaseSeconds[static_cast<int>(phase)] +=
                std::chrono::duration<double>(now - since).count();
        phase = p.phase;
        since = now;
        started = true;
    }
    if (p.phase == dedupe::Phase::Done && port) bytesAtEnd = tcpBytesTo(port);
}

JobRun runJob(const ExternalSandbox& sandbox, const std::vector<std::string>& keyColumns,
              const std::string& into, bool onServer) {
    dedupe::JobSettings s;
    s.connectionString = sandbox.connectionString("master");
    s.selectedTable = "Big";
    s.duplicateColumns = keyColumns;
    s.onServer = onServer;
    s.newName = into;
    RecordingEvents events(sandbox.port());
    ::malloc_trim(0); // what earlier runs freed goes back, so the growth is this run's own
    resetPeakResident();
    const long long before = residentBytes();
    // Other connections to the sandbox stay idle meanwhile: what they carried before is taken off.
    const double bytesBefore = tcpBytesTo(sandbox.port());
    JobRun run;
    run.seconds = seconds([&] { run.outcome = dedupe::RunJob(s, events); });
    run.peakGrowth = static_cast<double>(peakResidentBytes() - before);
    run.bytes = events.bytesAtEnd - bytesBefore;
    run.errors = events.errors;
    std::copy(std::begin(events.phaseSeconds), std::end(events.phaseSeconds), run.phaseSeconds);
    return run;
}

} // namespace rowlark::bench
