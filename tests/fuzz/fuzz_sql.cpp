// T-SQL text through the sandbox's engine: whatever the text, it fails as a statement fails and
// never ends the process.
#include "sql/engine.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

class NullSink : public sandbox::ResultSink {
public:
    void columns(const std::vector<tds::ColumnInfo>&) override {}
    bool row(const std::vector<tds::Value>&) override { return ++rows_ < 10000; }
    void done(bool, std::uint64_t) override {}
    void error(const sandbox::SqlError&) override {}
    void info(int, const std::string&) override {}
    void envChange(const tds::EnvChange&) override {}
    bool cancelled() override { return false; }

private:
    long rows_ = 0;
};

sandbox::Store& store() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "rowlark-fuzz-sql";
        std::filesystem::remove_all(d);
        return d;
    }();
    static sandbox::Store s(dir);
    static const bool made = [] {
        if (!s.find("f")) s.create("f");
        return true;
    }();
    (void)made;
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static sandbox::Engine engine(store(), "f");
    NullSink sink;
    engine.executeBatch(std::string_view(reinterpret_cast<const char*>(data), size), sink);
    return 0;
}
