// Lets another thread stop what a connection is doing: once pulled, the statement running on the
// server now is cancelled (SQLCancel may be called from any thread), and every later statement
// of that connection fails at once with SQLSTATE HY008. A server that does not answer the cancel
// (or a login under way) is given a short grace; then the connection's socket is cut, so that no
// wait outlasts a pull by more than a few seconds. A second pull cuts at once: the user insists.
// Where the system gives no list of the process's sockets (Windows: see sockets.h), nothing can be
// cut: the switch then tells its owner (setUnanswered), who ends the run instead.
#pragma once

#include "odbc.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace rowlark::db {

class CancelSwitch : public std::enable_shared_from_this<CancelSwitch> {
public:
    explicit CancelSwitch(std::chrono::milliseconds grace = std::chrono::seconds(2))
        : grace_(grace) {}

    // The first pull cancels and cuts after the grace; every later one cuts now, and pulls the
    // followers.
    void pull();
    bool pulled() const { return pulled_; }
    bool insisted() const { return insisted_; }
    // A switch for a connection opened after this one was pulled (to learn what a cut-off
    // statement did): it is pulled, and cut at once, when this one is pulled again. Born pulled
    // when that has happened already.
    std::shared_ptr<CancelSwitch> follower();
    // Called on a thread of the switch's when the time to cut has come (the grace has passed, or
    // a second pull) and a statement or a login still waits but no socket of it could be found
    // to cut. Followers made afterwards call it too.
    void setUnanswered(std::function<void()> unanswered);

    // While a statement runs, the switch knows its handle.
    void enter(SQLHSTMT statement);
    void leave(SQLHSTMT statement);
    // A login under way, with the sockets the process had before it began: what is new at the
    // end of the grace is the login's own.
    void enterLogin(std::vector<int> socketsBefore);
    void leaveLogin();
    // The sockets of an open connection of the switch, cut when a pull is not answered in time.
    void adopt(const std::vector<int>& sockets);
    void release(const std::vector<int>& sockets);

private:
    void cutNow();
    // With the mutex held; true when a wait is left that nothing could cut.
    bool cutLocked();
    bool insist(); // with the mutex held; the same
    void tellUnanswered();

    const std::chrono::milliseconds grace_;
    std::atomic<bool> pulled_{false};
    std::atomic<bool> insisted_{false};
    std::vector<std::weak_ptr<CancelSwitch>> followers_;
    std::mutex mutex_;
    SQLHSTMT running_ = SQL_NULL_HSTMT;
    bool loggingIn_ = false;
    std::vector<int> before_;
    std::vector<int> sockets_;
    std::function<void()> unanswered_;
};

} // namespace rowlark::db
