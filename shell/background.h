// Runs blocking database work off the user-interface thread while the window keeps painting.
#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

#include <exception>
#include <optional>
#include <thread>
#include <type_traits>

namespace rowlark::shell {

// What happens to the user's input while work waits: the wizard holds back clicks and keys to its
// pages (the windows keep painting, message boxes and closing still work), so a handler never
// runs inside another one's wait.
class WaitGuard {
public:
    virtual ~WaitGuard() = default;
    virtual void begin() = 0;
    virtual void end() = 0;
};
inline WaitGuard*& currentWaitGuard() {
    static WaitGuard* guard = nullptr;
    return guard;
}
inline void setWaitGuard(WaitGuard* guard) {
    currentWaitGuard() = guard;
}

// Calls work() on a worker thread and waits for it in a local event loop, so paint and input
// events go on meanwhile; returns its result or rethrows what it threw. Without an event loop
// to spin (no QCoreApplication), the work simply runs here.
template <class F>
auto RunInBackground(F&& work, QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents)
    -> decltype(work()) {
    using R = decltype(work());
    if (!QCoreApplication::instance()) return work();
    QEventLoop loop;
    struct Guarded {
        WaitGuard* g = currentWaitGuard();
        Guarded() {
            if (g) g->begin();
        }
        ~Guarded() {
            if (g) g->end();
        }
    } guarded;
    std::exception_ptr error;
    std::conditional_t<std::is_void_v<R>, int, std::optional<R>> result{};
    std::thread worker([&] {
        try {
            if constexpr (std::is_void_v<R>)
                work();
            else
                result.emplace(work());
        } catch (...) {
            error = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    loop.exec(flags);
    worker.join();
    if (error) std::rethrow_exception(error);
    if constexpr (!std::is_void_v<R>) return std::move(*result);
}

} // namespace rowlark::shell
