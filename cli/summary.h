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
};

// "Read N rows, removed D of D duplicates: [X] holds R rows."
void printSummary(std::ostream& out, const RunSummary& s);
void printSummaryJson(std::ostream& out, const RunSummary& s);

void printSurvey(std::ostream& out, const std::string& table, const dedupe::Survey& s);
void printSurveyJson(std::ostream& out, const std::string& table, const dedupe::Survey& s);

// A JSON string literal.
std::string jsonString(const std::string& text);

} // namespace rowlark::cli
