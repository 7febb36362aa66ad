// Runs a handler's numbered steps: a failing step is reported with its number and the next runs.
#pragma once

#include <exception>
#include <functional>
#include <string>

namespace rowlark {

class StepRunner {
public:
    using Reporter = std::function<void(int line, const std::string& description)>;
    explicit StepRunner(Reporter report) : report_(std::move(report)) {}

    // True when the step succeeded.
    bool step(int line, const std::function<void()>& work);
    // A condition whose test fails counts as passed: the body runs after the report.
    bool condition(int line, const std::function<bool()>& test);
    // A loop test that fails ends the loop: re-entering would repeat the same failure.
    bool loopTest(int line, const std::function<bool()>& test);
    int failures() const { return failures_; }

    // The description of whatever was thrown.
    static std::string describe(std::exception_ptr error);

private:
    bool guarded(int line, const std::function<bool()>& test, bool onFailure);
    Reporter report_;
    int failures_ = 0;
};

} // namespace rowlark
