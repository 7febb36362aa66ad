#include "engine_support.h"

#include "tds/wire.h"

namespace sandbox::test {

std::string text(const tds::Value& v) {
    if (std::holds_alternative<std::monostate>(v)) return "NULL";
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) return std::to_string(*d);
    if (auto s = std::get_if<std::u16string>(&v)) return tds::utf8(*s);
    if (auto d = std::get_if<tds::Decimal>(&v))
        return std::to_string(static_cast<long long>(d->scaled));
    if (auto t = std::get_if<tds::DateTime>(&v))
        return std::to_string(t->days) + "+" + std::to_string(t->nanos);
    return "<bytes " + std::to_string(std::get<tds::Bytes>(v).size()) + ">";
}

std::vector<std::vector<std::string>> EngineTest::rows(const std::string& sql) {
    auto results = run(sql);
    for (const auto& r : results)
        if (r.error) ADD_FAILURE() << sql << "\n  failed: " << r.error->message;
    std::vector<std::vector<std::string>> out;
    if (results.empty()) return out;
    for (const auto& row : results.back().rows) {
        out.emplace_back();
        for (const auto& v : row)
            out.back().push_back(text(v));
    }
    return out;
}

void EngineTest::ok(const std::string& sql) {
    for (const auto& r : run(sql))
        if (r.error) ADD_FAILURE() << sql << "\n  failed: " << r.error->message;
}

SqlError EngineTest::fails(const std::string& sql) {
    for (const auto& r : run(sql))
        if (r.error) return *r.error;
    ADD_FAILURE() << sql << "\n  did not fail";
    return {};
}

} // namespace sandbox::test
