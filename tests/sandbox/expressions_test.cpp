// The table of expressions in expressions.json: each with the type and value (or error) the
// server gives it, through the engine.
#include "engine_support.h"

#include "tds/older_versions.h"
#include "tds/wire.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace sandbox::test {
namespace {

// A value as the table writes it: numbers with their type's scale, binary as 0x hex, a datetime
// as yyyy-mm-dd hh:mi:ss.mmm.
std::string written(const tds::Value& v, const tds::TypeInfo& type) {
    if (std::holds_alternative<std::monostate>(v)) return "NULL";
    if (auto d = std::get_if<tds::Decimal>(&v))
        return decimalText(d->scaled, type.type == tds::kMoneyN ? 4 : type.scale);
    if (auto f = std::get_if<double>(&v)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15g", *f);
        return buf;
    }
    if (auto b = std::get_if<tds::Bytes>(&v)) {
        if (type.type == tds::kGuid) return guidText(*b);
        static const char digits[] = "0123456789ABCDEF";
        std::string s = "0x";
        for (auto byte : *b)
            s += digits[byte >> 4], s += digits[byte & 0xF];
        return s;
    }
    if (auto t = std::get_if<tds::DateTime>(&v)) {
        tds::TypeInfo shape = type;
        if (type.type == tds::kDateTimN) shape = {tds::kDateTime2N, 0, 0, 3};
        return tds::utf8(tds::dateTimeText(shape, *t));
    }
    return text(v);
}

TEST_F(EngineTest, ExpressionsHaveTheServersTypesAndValues) {
    QFile file(ROWLARK_EXPRESSIONS_JSON);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray table = QJsonDocument::fromJson(file.readAll())["expressions"].toArray();
    EXPECT_GE(table.size(), 150);
    for (const auto& entry : table) {
        const QJsonObject e = entry.toObject();
        const std::string sql = "SELECT " + e["sql"].toString().toStdString();
        SCOPED_TRACE(sql);
        const auto r = run(sql);
        ASSERT_EQ(r.size(), 1u);
        if (e.contains("error")) {
            ASSERT_TRUE(r[0].error) << "no error";
            EXPECT_EQ(r[0].error->number, e["error"].toInt()) << r[0].error->message;
            continue;
        }
        ASSERT_FALSE(r[0].error) << r[0].error->message;
        ASSERT_EQ(r[0].columns.size(), 1u);
        ASSERT_EQ(r[0].rows.size(), 1u);
        const tds::TypeInfo& type = r[0].columns[0].type;
        if (e.contains("type")) {
            EXPECT_EQ(fromWire(type).tsqlName(), e["type"].toString().toStdString());
        }
        const std::string value = written(r[0].rows[0][0], type);
        EXPECT_EQ(value, e["value"].isNull() ? "NULL" : e["value"].toString().toStdString());
    }
}

} // namespace
} // namespace sandbox::test
