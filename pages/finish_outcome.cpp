#include "finish_outcome.h"

#include "shell/connection_profile.h"

#include <QLocale>
#include <QRegularExpression>

namespace rowlark::pages {

namespace {

QString number(std::uint64_t n) {
    return QLocale().toString(static_cast<qulonglong>(n));
}

QString rows(std::uint64_t n) {
    return number(n) + (n == 1 ? " row" : " rows");
}

// What became of the table, in the job's own words.
QString whatHappened(const FinishedJob& job) {
    const auto& o = job.outcome;
    const auto& c = o.counts;
    if (o.newTableMade) {
        const QString removed = "read " + rows(c.rowsRead) + " and removed " + number(c.deleted) +
                                (c.deleted == 1 ? " duplicate row; " : " duplicate rows; ");
        if (c.deleted <= c.rowsRead && o.newTableRows == c.rowsRead - c.deleted)
            return removed + job.newName + " holds the other " +
                   (o.newTableRows == 1 ? QString("row") : number(o.newTableRows)) + ".";
        return removed + job.newName + " holds " + rows(o.newTableRows) + ".";
    }
    if (o.commitUnknown)
        return "could not learn whether " + job.newName + " was made; check whether it exists.";
    if (job.noDuplicates)
        return "no duplicates found in " + rows(c.rowsRead) + "; nothing was made.";
    QString why = ShortReason(job.failure);
    if (why.isEmpty()) why = QString::fromStdString(o.notMade);
    if (why.isEmpty()) why = "a step failed.";
    return job.newName + " was not made: " + why;
}

} // namespace

QString ShortReason(const QString& description) {
    static const QRegularExpression prefixes(QStringLiteral("^\\s*(\\[[^\\]]*\\]\\s*)+"));
    QString text = description;
    text.remove(prefixes);
    text = text.section('\n', 0, 0).trimmed();
    constexpr int kMost = 100;
    if (text.size() > kMost) {
        // Cut at a blank, where there is one near the end.
        int cut = text.lastIndexOf(' ', kMost);
        if (cut < kMost * 2 / 3) cut = kMost;
        text = text.left(cut).trimmed() + QChar(0x2026);
    }
    return text;
}

QString OutcomeLine(const FinishedJob& job) {
    return job.source + ": " + whatHappened(job) + " To clean another table, start " +
           shell::kProductName + " again.";
}

QString FinalCounts(const FinishedJob& job) {
    const auto& c = job.outcome.counts;
    QString text = "Read " + rows(c.rowsRead);
    if (job.outcome.newTableMade)
        text += ", removed " + number(c.deleted) + (c.deleted == 1 ? " duplicate" : " duplicates");
    else if (job.noDuplicates)
        text += ": no duplicates";
    return text;
}

} // namespace rowlark::pages
