// The locks sessions take on tables, shared by every session of the process: a write's lock on
// its table is held to the end of its transaction, a read's only until its statement has its
// snapshot of the store. A wait ends at the session's LOCK_TIMEOUT (1222), or at once with 1205
// when it would close a circle of sessions waiting for each other.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace sandbox {

class Locks {
public:
    // Waits until owner may hold the resource (exclusive: alone). timeoutMs < 0 waits for ever;
    // victim: false for a wait that must not fail (a rollback), which leaves the deadlock to the
    // other side. Throws SqlError 1222 or 1205.
    void acquire(const void* owner, const std::string& resource, bool exclusive, long timeoutMs,
                 bool victim = true);
    void release(const void* owner, const std::string& resource);
    bool holdsAlone(const void* owner, const std::string& resource) const;
    std::size_t waiting() const; // owners waiting now

private:
    using Holders = std::map<const void*, bool>; // each holder, and whether it holds alone
    struct Wait {
        std::string resource;
        bool exclusive = false;
    };
    // The other owners that keep owner from the resource.
    std::vector<const void*> blockers(const void* owner, const Wait& wanted) const;
    bool closesCircle(const void* owner, const Wait& wanted) const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Holders> held_;
    std::map<const void*, Wait> waiting_; // what each waiting owner waits for
};

} // namespace sandbox
