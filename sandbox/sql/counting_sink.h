// The sink the engine puts between itself and a session's: it notes each statement's count and
// error for the session's variables, and leaves the count out under SET NOCOUNT ON.
#pragma once

#include "engine.h"

namespace sandbox {

class CountingSink : public ResultSink {
public:
    CountingSink(Engine& engine, ResultSink& to) : engine_(engine), to_(to) {}
    void columns(const std::vector<tds::ColumnInfo>& c) override { to_.columns(c); }
    bool row(const std::vector<tds::Value>& v) override { return to_.row(v); }
    void done(bool hasCount, std::uint64_t count) override {
        engine_.rowCount_ = hasCount ? count : 0;
        engine_.lastError_ = 0;
        to_.done(hasCount && !engine_.noCount_, count);
    }
    void error(const SqlError& e) override {
        engine_.rowCount_ = 0;
        engine_.lastError_ = e.number;
        to_.error(e);
    }
    void info(int number, const std::string& text) override { to_.info(number, text); }
    void envChange(const tds::EnvChange& change) override { to_.envChange(change); }
    bool cancelled() override { return to_.cancelled(); }

private:
    Engine& engine_;
    ResultSink& to_;
};

} // namespace sandbox
