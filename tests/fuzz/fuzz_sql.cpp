// T-SQL text through the sandbox's engine: whatever the text, it fails as a statement fails and
// never ends the process.
#include "sql/engine.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

class NullSink : public sandbox::ResultSink {
public:
    bool row(const std::vector<tds::Value>&) override { return ++rows_ < 10000; }
    void error(const sandbox::SqlError&) override {}

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

// T-SQL's words and symbols, for inputs that are statements in pieces rather than bytes: the
// translation's look-arounds (operands, comparisons, IN lists, TOP, variables) meet odd orders.
const char* const kWords[] = {"SELECT",
                              "FROM",
                              "WHERE",
                              "t",
                              "a",
                              "b",
                              "(",
                              ")",
                              ",",
                              "=",
                              "<>",
                              "/",
                              "%",
                              "+",
                              "-",
                              "*",
                              "1",
                              "0",
                              "2147483647",
                              "1.5",
                              "'x'",
                              "N'X'",
                              "'abc'",
                              "NULL",
                              "IN",
                              "NOT",
                              "AND",
                              "OR",
                              "CAST",
                              "TRY_CAST",
                              "CONVERT",
                              "AS",
                              "int",
                              "decimal(5,2)",
                              "varchar(3)",
                              "datetime",
                              "bit",
                              "TOP",
                              "PERCENT",
                              "DISTINCT",
                              "ORDER",
                              "BY",
                              "OFFSET",
                              "ROWS",
                              "FETCH",
                              "NEXT",
                              "ONLY",
                              "DECLARE",
                              "SET",
                              "@a",
                              "@b",
                              "@@ROWCOUNT",
                              "INSERT",
                              "INTO",
                              "VALUES",
                              "BULK",
                              "WITH",
                              "IDENTITY_INSERT",
                              "ON",
                              "OFF",
                              "DATALENGTH",
                              "CHARINDEX",
                              "REPLACE",
                              "UPPER",
                              "AVG",
                              "COUNT",
                              "CASE",
                              "WHEN",
                              "THEN",
                              "ELSE",
                              "END",
                              "COLLATE",
                              "Latin1_General_CS_AS",
                              ";",
                              "FMTONLY",
                              "CREATE",
                              "TABLE",
                              "id",
                              "IDENTITY(1,1)",
                              "k",
                              "GROUP",
                              "OVER",
                              "PARTITION",
                              "ROW_NUMBER"};

// Beginnings that most often lead into the translation rather than to a syntax error at once.
const char* const kStarts[] = {"",
                               "SELECT ",
                               "SELECT a FROM t WHERE ",
                               "DECLARE @a int = ",
                               "SELECT k FROM t WHERE b IN (",
                               "SELECT TOP 50 PERCENT a "};

std::string wordsOf(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return {};
    std::string sql = kStarts[data[0] % (sizeof kStarts / sizeof *kStarts)];
    ++data, --size;
    for (std::size_t i = 0; i < size; ++i) {
        sql += kWords[data[i] % (sizeof kWords / sizeof *kWords)];
        sql += ' ';
    }
    return sql;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static sandbox::Engine engine(store(), "f");
    static const bool tables = [] {
        NullSink sink;
        engine.executeBatch("CREATE TABLE t (id int IDENTITY(1,1), a int, b varchar(5) COLLATE "
                            "Latin1_General_CS_AS, k nvarchar(5)); INSERT INTO t (a, b, k) "
                            "VALUES (1, 'x', N'X'), (0, NULL, N'abc')",
                            sink);
        return true;
    }();
    (void)tables;
    NullSink sink;
    if (size > 0 && data[0] % 2 == 0) {
        // In a transaction rolled back after, so that the table stays as it was and each input
        // starts where the others did.
        engine.executeBatch("BEGIN TRAN", sink);
        engine.executeBatch(wordsOf(data + 1, size - 1), sink);
        engine.executeBatch(
            "IF @@TRANCOUNT > 0 ROLLBACK; SET FMTONLY OFF; SET IDENTITY_INSERT t OFF", sink);
    } else {
        engine.executeBatch(std::string_view(reinterpret_cast<const char*>(data), size), sink);
    }
    return 0;
}
