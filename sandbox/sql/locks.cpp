#include "locks.h"

#include "error.h"

#include <chrono>
#include <set>

namespace sandbox {

std::vector<const void*> Locks::blockers(const void* owner, const Wait& wanted) const {
    std::vector<const void*> out;
    const auto it = held_.find(wanted.resource);
    if (it == held_.end()) return out;
    for (const auto& [other, alone] : it->second)
        if (other != owner && (wanted.exclusive || alone)) out.push_back(other);
    return out;
}

// Whether owner, waiting for wanted, would wait for itself through the owners that wait.
bool Locks::closesCircle(const void* owner, const Wait& wanted) const {
    std::vector<const void*> next = blockers(owner, wanted);
    std::set<const void*> seen;
    while (!next.empty()) {
        const void* b = next.back();
        next.pop_back();
        if (b == owner) return true;
        if (!seen.insert(b).second) continue;
        const auto w = waiting_.find(b);
        if (w == waiting_.end()) continue;
        for (const void* c : blockers(b, w->second))
            next.push_back(c);
    }
    return false;
}

void Locks::acquire(const void* owner, const std::string& resource, bool exclusive, long timeoutMs,
                    bool victim) {
    std::unique_lock lock(mutex_);
    const Wait wanted{resource, exclusive};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!blockers(owner, wanted).empty()) {
        if (victim && closesCircle(owner, wanted)) {
            waiting_.erase(owner);
            throw SqlError{1205, 13, 51,
                           "Transaction (Process ID 51) was deadlocked on lock resources with "
                           "another process and has been chosen as the deadlock victim. Rerun "
                           "the transaction.",
                           true};
        }
        if (waiting_.emplace(owner, wanted).second)
            changed_.notify_all(); // the others look again for a circle this wait closes
        if (timeoutMs < 0) {
            changed_.wait(lock);
        } else if (changed_.wait_until(lock, deadline) == std::cv_status::timeout &&
                   !blockers(owner, wanted).empty()) {
            waiting_.erase(owner);
            throw SqlError{1222, 16, 56, "Lock request time out period exceeded."};
        }
    }
    waiting_.erase(owner);
    held_[resource][owner] |= exclusive; // a holder alone stays alone when it asks to share
}

void Locks::release(const void* owner, const std::string& resource) {
    std::lock_guard lock(mutex_);
    const auto it = held_.find(resource);
    if (it == held_.end() || !it->second.erase(owner)) return;
    if (it->second.empty()) held_.erase(it);
    changed_.notify_all();
}

bool Locks::holdsAlone(const void* owner, const std::string& resource) const {
    std::lock_guard lock(mutex_);
    const auto it = held_.find(resource);
    return it != held_.end() && it->second.contains(owner) && it->second.at(owner);
}

std::size_t Locks::waiting() const {
    std::lock_guard lock(mutex_);
    return waiting_.size();
}

} // namespace sandbox
