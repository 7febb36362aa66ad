// Faults the tests inject into the sandbox: connections dropped at a chosen point, slow answers,
// statements refused. Set with the sandbox's own statement, SANDBOX FAULT ..., they apply to the
// sessions of the database the rule was set in.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace sandbox {

struct FaultRule {
    enum Kind { DropOn, DropAfterRows, Delay, Refuse };
    Kind kind = DropOn;
    std::string pattern;   // DropOn, Refuse, Delay: found in a batch's text (Delay: empty for any)
    long skip = 0;         // DropOn: matching batches let through first
    long rows = 0;         // DropAfterRows
    long milliseconds = 0; // Delay
};

class Faults {
public:
    enum class Action { None, Drop, Refuse };

    void add(const std::string& database, FaultRule rule);
    void clear(const std::string& database);
    // What to do with a batch. One-shot rules are used up.
    Action onBatch(const std::string& database, const std::string& text);
    // How long the batch is held before it runs: the longest matching delay, in milliseconds.
    long delayFor(const std::string& database, const std::string& text);
    // Rows a result may send before the connection drops, taking that rule when there is one.
    std::optional<long> takeRowLimit(const std::string& database);

    // Connections open now, by the database they logged in to.
    void countSession(const std::string& database, int change); // +1 at a login, -1 at its end
    int sessions(const std::string& database);

private:
    std::map<std::string, int> sessions_;
    std::mutex mutex_;
    std::map<std::string, std::vector<FaultRule>> rules_;
};

} // namespace sandbox
