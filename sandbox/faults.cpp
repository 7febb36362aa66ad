#include "faults.h"

#include "sql/text.h"

#include <algorithm>

namespace sandbox {

void Faults::add(const std::string& database, FaultRule rule) {
    std::lock_guard lock(mutex_);
    rules_[toLower(database)].push_back(std::move(rule));
}

void Faults::clear(const std::string& database) {
    std::lock_guard lock(mutex_);
    rules_.erase(toLower(database));
}

long Faults::delayFor(const std::string& database, const std::string& text) {
    std::lock_guard lock(mutex_);
    long delay = 0;
    for (const auto& r : rules_[toLower(database)])
        if (r.kind == FaultRule::Delay &&
            (r.pattern.empty() || text.find(r.pattern) != std::string::npos))
            delay = std::max(delay, r.milliseconds);
    return delay;
}

Faults::Action Faults::onBatch(const std::string& database, const std::string& text) {
    Action action = Action::None;
    std::lock_guard lock(mutex_);
    auto& rules = rules_[toLower(database)];
    for (auto r = rules.begin(); r != rules.end();) {
        const bool matches = text.find(r->pattern) != std::string::npos;
        if (matches && r->kind == FaultRule::Refuse) action = Action::Refuse;
        if (matches && r->kind == FaultRule::DropOn && r->skip-- <= 0) {
            r = rules.erase(r);
            action = Action::Drop;
        } else {
            ++r;
        }
    }
    return action;
}

void Faults::countSession(const std::string& database, int change) {
    std::lock_guard lock(mutex_);
    sessions_[toLower(database)] += change;
}

int Faults::sessions(const std::string& database) {
    std::lock_guard lock(mutex_);
    return sessions_[toLower(database)];
}

std::optional<long> Faults::takeRowLimit(const std::string& database) {
    std::lock_guard lock(mutex_);
    auto& rules = rules_[toLower(database)];
    const auto r = std::ranges::find(rules, FaultRule::DropAfterRows, &FaultRule::kind);
    if (r == rules.end()) return std::nullopt;
    const long rows = r->rows;
    rules.erase(r);
    return rows;
}

} // namespace sandbox
