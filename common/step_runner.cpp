#include "step_runner.h"

#include <exception>

namespace rowlark {

std::string StepRunner::describe(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "Unknown error";
    }
}

bool StepRunner::guarded(int line, const std::function<bool()>& test, bool onFailure) {
    try {
        return test();
    } catch (...) {
        ++failures_;
        report_(line, describe(std::current_exception()));
        return onFailure;
    }
}

bool StepRunner::step(int line, const std::function<void()>& work) {
    return guarded(
        line,
        [&] {
            work();
            return true;
        },
        false);
}

bool StepRunner::condition(int line, const std::function<bool()>& test) {
    return guarded(line, test, true);
}

bool StepRunner::loopTest(int line, const std::function<bool()>& test) {
    return guarded(line, test, false);
}

} // namespace rowlark
