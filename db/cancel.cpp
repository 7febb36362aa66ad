#include "cancel.h"

#include "sockets.h"

#include <algorithm>
#include <thread>

namespace rowlark::db {

void CancelSwitch::pull() {
    bool stranded = false;
    {
        std::lock_guard lock(mutex_);
        if (pulled_.exchange(true)) {
            if (!insisted_.exchange(true)) stranded = insist();
        } else {
            if (running_ != SQL_NULL_HSTMT) SQLCancel(running_);
            // The cut waits on a thread of its own: pull() is called from signal watchers and
            // event loops that must not wait. A switch that nobody owns through a shared pointer
            // has no cut.
            if (auto self = weak_from_this().lock())
                std::thread([self] {
                    std::this_thread::sleep_for(self->grace_);
                    self->cutNow();
                }).detach();
        }
    }
    if (stranded) tellUnanswered();
}

// With the lock held: no grace any more, for this switch or for any that follows it.
bool CancelSwitch::insist() {
    const bool stranded = cutLocked();
    for (const auto& weak : followers_)
        if (auto f = weak.lock()) {
            f->pull();
            f->pull();
        }
    followers_.clear();
    return stranded;
}

std::shared_ptr<CancelSwitch> CancelSwitch::follower() {
    auto f = std::make_shared<CancelSwitch>(grace_);
    std::lock_guard lock(mutex_);
    f->unanswered_ = unanswered_;
    if (insisted_) {
        f->pull();
        f->pull();
    } else {
        std::erase_if(followers_, [](const auto& w) { return w.expired(); });
        followers_.push_back(f);
    }
    return f;
}

void CancelSwitch::setUnanswered(std::function<void()> unanswered) {
    std::lock_guard lock(mutex_);
    unanswered_ = std::move(unanswered);
}

void CancelSwitch::tellUnanswered() {
    std::function<void()> tell;
    {
        std::lock_guard lock(mutex_);
        tell = unanswered_;
    }
    if (tell) tell();
}

void CancelSwitch::cutNow() {
    bool stranded = false;
    {
        std::lock_guard lock(mutex_);
        stranded = cutLocked();
    }
    if (stranded) tellUnanswered();
}

bool CancelSwitch::cutLocked() {
    std::vector<int> doomed = sockets_;
    if (loggingIn_) {
        const auto fresh = sockets::Since(before_, sockets::Connected());
        doomed.insert(doomed.end(), fresh.begin(), fresh.end());
    }
    sockets::Cut(doomed);
    return doomed.empty() && (loggingIn_ || running_ != SQL_NULL_HSTMT);
}

void CancelSwitch::enter(SQLHSTMT statement) {
    std::lock_guard lock(mutex_);
    running_ = statement;
}

void CancelSwitch::leave(SQLHSTMT statement) {
    std::lock_guard lock(mutex_);
    if (running_ == statement) running_ = SQL_NULL_HSTMT;
}

void CancelSwitch::enterLogin(std::vector<int> socketsBefore) {
    std::lock_guard lock(mutex_);
    loggingIn_ = true;
    before_ = std::move(socketsBefore);
}

void CancelSwitch::leaveLogin() {
    std::lock_guard lock(mutex_);
    loggingIn_ = false;
    before_.clear();
}

void CancelSwitch::adopt(const std::vector<int>& sockets) {
    std::lock_guard lock(mutex_);
    sockets_.insert(sockets_.end(), sockets.begin(), sockets.end());
}

void CancelSwitch::release(const std::vector<int>& sockets) {
    std::lock_guard lock(mutex_);
    std::erase_if(sockets_, [&](int fd) {
        return std::find(sockets.begin(), sockets.end(), fd) != sockets.end();
    });
}

} // namespace rowlark::db
