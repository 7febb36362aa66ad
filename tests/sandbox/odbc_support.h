// Shortcuts for tests that talk to the sandbox through the driver.
#pragma once

#include "db/statement.h"
#include "support/sandbox_env.h"

#include <gtest/gtest.h>

namespace rowlark::test {

// Every row of the first result, NULL shown as "NULL".
inline std::vector<std::vector<std::string>> query(db::Connection& c, const std::string& sql) {
    db::Statement st(c);
    st.execute(sql);
    std::vector<std::vector<std::string>> out;
    std::vector<db::Value> row;
    while (st.fetch(row)) {
        out.emplace_back();
        for (const auto& v : row)
            out.back().push_back(v ? *v : "NULL");
    }
    return out;
}

// One database per test program, shared by its tests.
inline const std::string& sharedDatabase(const std::string& prefix) {
    static const std::string name = freshDatabase(prefix);
    return name;
}

inline std::unique_ptr<db::Connection> connect(const std::string& database) {
    auto c = std::make_unique<db::Connection>();
    c->setLoginTimeout(10);
    c->open(connectionString(database));
    return c;
}

using Rows = std::vector<std::vector<std::string>>;

// Permanent tables under the work tables' name: a run never leaves one behind.
inline const std::string kWorkTablesLeft =
    "SELECT TABLE_NAME FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME LIKE "
    "N'TEMP!_TABLE!_CREATED!_BY!_ORVANDEL%' ESCAPE '!'";

// Whether the database holds an object of that name.
inline bool Exists(db::Connection& c, const std::string& name) {
    return query(c, "SELECT CASE WHEN OBJECT_ID(N'" + name +
                        "') IS NULL THEN 0 ELSE 1 END")[0][0] == "1";
}

// A table's column v, in order.
inline std::vector<std::string> ValuesOfV(db::Connection& c, const std::string& table) {
    std::vector<std::string> out;
    for (const auto& r : query(c, "SELECT v FROM " + table + " ORDER BY v"))
        out.push_back(r[0]);
    return out;
}

} // namespace rowlark::test
