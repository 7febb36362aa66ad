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

// Calls work() on a worker thread and waits for it in a local event loop, so paint and input
// events go on meanwhile; returns its result or rethrows what it threw. Without an event loop
// to spin (no QCoreApplication), the work simply runs here.
template <class F>
auto RunInBackground(F&& work, QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents)
    -> decltype(work()) {
    using R = decltype(work());
    if (!QCoreApplication::instance()) return work();
    QEventLoop loop;
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
