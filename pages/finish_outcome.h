// The words the finish page ends a job with: the line that says what the job did, and the reason
// a failure gives, short enough for that line.
#pragma once

#include "dedupe/job.h"

#include <QString>

namespace rowlark::pages {

struct FinishedJob {
    QString source;  // the table the job ran on
    QString newName; // the name it was to make
    dedupe::JobOutcome outcome;
    bool noDuplicates = false;
    QString failure; // the first failure's text as the server or driver gave it; may be empty
};

// One paragraph: what happened to which table, where the rows went, and that another table needs
// a new start of the program.
QString OutcomeLine(const FinishedJob& job);

// A server's or driver's message in a few words: without the "[driver][server]" prefixes, its
// first line, at most about a hundred characters.
QString ShortReason(const QString& description);

// The progress line once the job has ended: the counts it reached.
QString FinalCounts(const FinishedJob& job);

} // namespace rowlark::pages
