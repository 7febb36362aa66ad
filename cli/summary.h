// What rowlark-dedupe prints at the end: a line for people, or one JSON object for scripts.
#pragma once

#include "dedupe/job.h"
#include "dedupe/survey.h"

#include <ostream>
#include <string>
#include <vector>

namespace rowlark::cli {

struct FailedStep {
    int step;
    std::string text;
};

struct RunSummary {
    std::string table, newTable;
    dedupe::JobOutcome outcome;
    bool noDuplicates = false;
    std::vector<FailedStep> failed;
    std::vector<std::string> notices;
    int signal = 0; // SIGINT or SIGTERM when one came during the job
    // Which row of each group stays, when the user chose (empty: the first, in table order).
    std::vector<dedupe::OrderColumn> orderBy;
    bool keepLast = false;
    std::string removedInto; // empty: none asked for
    bool onServer = false;
};

// Which comparison decides what repeats: the program's exact one or the server's.
std::string comparisonText(bool onServer);

// "keeps the first row of each group in the table's own order", and the like.
std::string ruleText(const std::vector<dedupe::OrderColumn>& order, bool last);
// The rule as JSON fields: "keep", "order_by" and "rule", with a leading ", ".
std::string ruleJson(const std::vector<dedupe::OrderColumn>& order, bool last);

// How a run ended, in every JSON object the program prints: the exit status, one word for the
// outcome ("made", "not_made", "no_duplicates", "refused", "usage", "failed", "stopped",
// "unknown", "dry_run", and "help" or "version" for those) and the message a person would read.
struct Ending {
    int status;
    std::string outcome;
    std::string message;
};
void printEndingJson(std::ostream& out, const Ending& e);

// "Read N rows, removed D duplicates: [X] holds R rows."
std::string madeLine(const RunSummary& s);
// A count as people read it: with the locale's thousands separators, as the wizard shows them.
std::string countText(std::uint64_t n);
// Ends a run whose job ran: with json the summary as one object on `out`, else the message on
// `out` for a made table or no duplicates and on `err` for anything else. Returns the status.
int endJob(std::ostream& out, std::ostream& err, const RunSummary& s, bool json, int status,
           const std::string& outcome, const std::string& message);

void printSurvey(std::ostream& out, const std::string& table, const dedupe::Survey& s,
                 const std::vector<dedupe::OrderColumn>& order = {}, bool last = false,
                 bool onServer = false);
void printSurveyJson(std::ostream& out, const std::string& table, const dedupe::Survey& s,
                     const std::vector<dedupe::OrderColumn>& order = {}, bool last = false,
                     bool onServer = false);

// "SIGINT" or "SIGTERM": the name JSON gives, on every system (signalWords in signals.h: the
// words the user reads).
const char* signalName(int signal);

// A JSON string literal.
std::string jsonString(const std::string& text);

} // namespace rowlark::cli
