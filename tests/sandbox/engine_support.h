// An engine over a scratch data folder, and a sink that records what a session would send.
#pragma once

#include "sql/engine.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace sandbox::test {

struct StatementResult {
    std::vector<tds::ColumnInfo> columns;
    std::vector<std::vector<tds::Value>> rows;
    bool hasCount = false;
    std::uint64_t count = 0;
    std::optional<SqlError> error;
};

class RecordingSink : public ResultSink {
public:
    std::vector<StatementResult> results;
    std::vector<tds::EnvChange> envChanges;

    void columns(const std::vector<tds::ColumnInfo>& c) override { current().columns = c; }
    bool row(const std::vector<tds::Value>& v) override {
        current().rows.push_back(v);
        return true;
    }
    void done(bool hasCount, std::uint64_t count) override {
        current().hasCount = hasCount;
        current().count = count;
        open_ = false;
    }
    void error(const SqlError& e) override {
        current().error = e;
        open_ = false;
    }
    void envChange(const tds::EnvChange& e) override { envChanges.push_back(e); }

private:
    StatementResult& current() {
        if (!open_) results.emplace_back(), open_ = true;
        return results.back();
    }
    bool open_ = false;
};

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            std::filesystem::temp_directory_path() /
            ("rowlark-engine-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        store_ = std::make_unique<Store>(dir_);
        store_->create("t");
        engine_ = std::make_unique<Engine>(*store_, "t");
    }
    void TearDown() override {
        engine_.reset();
        store_.reset();
        std::filesystem::remove_all(dir_);
    }

    // Runs a batch and returns one result per statement.
    std::vector<StatementResult> run(const std::string& sql) {
        RecordingSink sink;
        engine_->executeBatch(sql, sink);
        return sink.results;
    }
    // Runs a batch that must succeed and returns the rows of its last result as text.
    std::vector<std::vector<std::string>> rows(const std::string& sql);
    void ok(const std::string& sql);
    SqlError fails(const std::string& sql);

    std::filesystem::path dir_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<Engine> engine_;
};

std::string text(const tds::Value& v);

} // namespace sandbox::test
