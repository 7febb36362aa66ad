// The data folder (one store file per database) and one open connection to a database.
#pragma once

#include "error.h"
#include "faults.h"
#include "locks.h"
#include "types.h"

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct sqlite3;
struct sqlite3_context;
struct sqlite3_value;

namespace sandbox {

class Store {
public:
    explicit Store(std::filesystem::path dir); // creates master when missing
    // The database's name as created, when one of that name (in any case) exists.
    std::optional<std::string> find(std::string_view name) const;
    std::filesystem::path path(std::string_view canonicalName) const;
    void create(std::string_view name); // throws SqlError 1801 when it exists
    void drop(std::string_view name);   // throws SqlError 3701 when it does not
    Faults& faults() { return faults_; }
    Locks& locks() { return locks_; }

private:
    Faults faults_;
    Locks locks_;
    std::filesystem::path dir_;
    mutable std::mutex mutex_;
};

struct ColumnDef {
    std::string name;
    SqlType type;
    std::string declared;
    bool notNull = false;
    bool identity = false;
    bool rowKey = false; // the store's own row key (kRowKeyType)
    int collation = 0;   // of character data: a CollationId
};

struct TableDef {
    std::string name; // as created
    bool isView = false;
    std::vector<ColumnDef> columns;
    int identityIndex = -1;
};

// The catalogue views of INFORMATION_SCHEMA and sys, as statements that create them (catalog.cpp).
std::string catalogueViews(const std::string& database);

// A table a statement of the store touches, as the store reports it while preparing it.
struct Access {
    std::string table;
    bool temp = false; // a session's own table (#name)
    enum Kind { Read, Write, Schema } kind = Read;
};

// Told what each statement touches before it runs (the engine takes its locks there), and when
// it first steps (its snapshot of the store is taken then).
class AccessHook {
public:
    virtual ~AccessHook() = default;
    virtual void accessing(const std::vector<Access>& accesses) = 0;
    virtual void stepped() = 0;
};

// One connection to one database file, with the functions and catalogue views that statements
// written for the store rely on.
class Database {
public:
    Database(const Store& store, const std::string& name);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    sqlite3* handle() const { return db_; }
    const std::string& name() const { return name_; }

    // Runs SQL that returns no rows; throws SqlError.
    void exec(const std::string& sql, const std::string& table = {});
    // Prepares one statement (nullptr for none: blank or a comment) and tells the hook what it
    // touches; tail, when given, is where the next statement starts. Throws SqlError.
    sqlite3_stmt* prepare(const char* sql, int size, const std::string& table,
                          const char** tail = nullptr);
    void setHook(AccessHook* hook) { hook_ = hook; }
    void stepped() {
        if (hook_) hook_->stepped();
    }
    // The table or view of that name (in any case), from a cache that forgetSchema() clears.
    // schema: "temp" for the catalogue views, which the connection keeps there.
    const TableDef* table(std::string_view name, const char* schema = nullptr);
    void forgetSchema() { tables_.clear(); }
    // rowlark_next_number(seed, increment) counts seed, seed + increment, ... from here on.
    void startNumbering() { numbered_ = 0; }
    // The identity value this connection drew last, if any.
    std::optional<std::int64_t>& lastIdentity() { return lastIdentity_; }
    using Function = void (*)(::sqlite3_context*, int, ::sqlite3_value**);
    // A function of the store's SQL on this connection; data is what it finds as its user data.
    void define(const char* name, int args, Function fn, void* data = nullptr,
                bool deterministic = false);

private:
    sqlite3* db_ = nullptr;
    std::string name_;
    std::map<std::string, std::unique_ptr<TableDef>> tables_;
    std::int64_t numbered_ = 0;
    std::optional<std::int64_t> lastIdentity_;
    AccessHook* hook_ = nullptr;
    bool collecting_ = false; // the authorizer notes accesses while a statement is prepared
    std::vector<Access> accesses_;
    static int authorize(void* self, int action, const char* a, const char* b, const char* schema,
                         const char* trigger);
    static void nextNumberFn(::sqlite3_context* ctx, int argc, ::sqlite3_value** argv);
};

// Identity values: one counter per table, shared by every connection of the process, as a
// server's identity values are shared by its sessions and not rolled back.
// A temporary table's counter belongs to its connection alone.
void forgetIdentity(const Database& db, std::string_view table);
void setNextIdentity(const Database& db, std::string_view table, std::int64_t next);
// After explicit identity values: the table's next value goes past the highest it holds.
void keepIdentityAbove(const Database& db, const TableDef& table);
// The DEFAULT expression that draws the next value for an identity column.
std::string identityDefault(std::string_view table, std::string_view column, std::int64_t seed,
                            std::int64_t increment);
bool isIdentityDefault(std::string_view dflt);

} // namespace sandbox
