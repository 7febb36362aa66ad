#include "database.h"

#include "collation.h"
#include "conversions.h"
#include "functions.h"
#include "statement.h"
#include "text.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <sqlite3.h>
#include <unordered_map>
#include <utility>

namespace sandbox {
namespace fs = std::filesystem;

namespace {

constexpr const char* kExt = ".sqlite";
constexpr const char* kIdentityFn = "rowlark_identity";

// A statement of the store, finalized when it goes.
using Stmt = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// A statement outside any hook (nullptr when it does not prepare: each step then fails).
Stmt stmt(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr);
    return {st, sqlite3_finalize};
}

std::mutex gIdentityMutex;
std::unordered_map<std::string, std::int64_t> gIdentity; // each table's next value

std::string identityKey(sqlite3* db, std::string_view table) {
    std::string key = sqlite3_db_filename(db, "main");
    if (isTempName(table)) key += '\1' + std::to_string(reinterpret_cast<std::uintptr_t>(db));
    return key + '\0' + toLower(table);
}

// rowlark_identity(table, column, seed, increment): the next identity value of the table.
void identityFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    std::string table(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
    std::string column(reinterpret_cast<const char*>(sqlite3_value_text(argv[1])));
    std::int64_t seed = sqlite3_value_int64(argv[2]);
    std::int64_t inc = sqlite3_value_int64(argv[3]);
    sqlite3* db = sqlite3_context_db_handle(ctx);
    std::string key = identityKey(db, table);
    std::lock_guard lock(gIdentityMutex);
    const auto [it, first] = gIdentity.try_emplace(key, seed);
    if (first) {
        // First use since start: continue after the values the table holds.
        const Stmt st = stmt(db, std::string("SELECT ") + (inc > 0 ? "max(" : "min(") +
                                     quoteIdent(column) + ") FROM " + quoteIdent(table));
        if (sqlite3_step(st.get()) == SQLITE_ROW && sqlite3_column_type(st.get(), 0) != SQLITE_NULL)
            it->second = sqlite3_column_int64(st.get(), 0) + inc;
    }
    sqlite3_result_int64(ctx, it->second);
    // The connection's last identity value, for @@IDENTITY and SCOPE_IDENTITY().
    if (auto* last = static_cast<std::optional<std::int64_t>*>(sqlite3_user_data(ctx)))
        *last = it->second;
    it->second += inc;
}

// rowlark_object_id('name' [, 'U' | 'V']): an id for a table or view of that name (of that kind
// when asked), else NULL. tempdb..#name finds the session's own temporary table.
void objectIdFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    auto p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (!p) return sqlite3_result_null(ctx);
    // The last part of a name such as [dbo].[t] or Demo.dbo.t, brackets removed.
    const std::string_view s(p);
    std::string last;
    bool bracketed = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (bracketed && s[i] == ']' && i + 1 < s.size() && s[i + 1] == ']')
            last.push_back(']'), ++i;
        else if ((s[i] == '[' && !bracketed) || (s[i] == ']' && bracketed))
            bracketed = !bracketed;
        else if (s[i] == '.' && !bracketed)
            last.clear();
        else
            last.push_back(s[i]);
    }
    std::string kinds = "('table','view')";
    if (argc > 1 && sqlite3_value_type(argv[1]) != SQLITE_NULL) {
        std::string kind =
            toLower(trim(reinterpret_cast<const char*>(sqlite3_value_text(argv[1]))));
        kinds = kind == "u" ? "('table')" : kind == "v" ? "('view')" : "()";
    }
    const Stmt st =
        stmt(sqlite3_context_db_handle(ctx), std::string("SELECT rowid FROM ") + schemaOf(last) +
                                                 ".sqlite_master WHERE type IN " + kinds +
                                                 " AND name = ?1 COLLATE NOCASE");
    sqlite3_bind_text(st.get(), 1, last.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(st.get()) == SQLITE_ROW)
        sqlite3_result_int64(ctx, 1000 + sqlite3_column_int64(st.get(), 0));
    else
        sqlite3_result_null(ctx);
}

// The catalogue views' helpers' answers about a declared type: each one property (by its
// place in kTypeFunctions), nullopt where the type has none.
std::optional<int> typeProperty(const SqlType& t, int what) {
    using B = BaseType;
    const bool sized = t.isText() || t.base == B::Binary || t.base == B::VarBinary;
    const bool large = t.base == B::Text || t.base == B::NText;
    const bool numeric = t.isExactNumber() || t.isInteger();
    static const int kIds[] = {48,  52,  56, 127, 104, 106, 108, 60, 122, 62, 59, 175, 167,
                               239, 231, 35, 99,  173, 165, 40,  41, 61,  42, 58, 36,  34};
    switch (what) {
    case 1: // CHARACTER_MAXIMUM_LENGTH
        return sized ? std::optional(large ? 2147483647 : t.length) : std::nullopt;
    case 2: // NUMERIC_PRECISION: digits, or bits of a float's mantissa
        if (t.base == B::Real) return 24;
        return numeric || t.base == B::Float ? std::optional(digitsOf(t)) : std::nullopt;
    case 3:
        return numeric ? std::optional(t.scale) : std::nullopt;
    case 4: // DATETIME_PRECISION: digits of the fraction of a second
        if (t.base == B::Date || t.base == B::SmallDateTime) return 0;
        if (t.base == B::DateTime) return 3;
        return t.base == B::Time || t.base == B::DateTime2 ? std::optional(t.scale) : std::nullopt;
    case 5: // sys.columns.system_type_id
        return kIds[static_cast<int>(t.base)];
    default: // sys.columns.max_length: bytes, -1 for (max)
        if (large) return 16;
        if (sized && t.length == SqlType::kMax) return -1;
        if (t.base == B::Time) return tds::TypeInfo::timeBytes(t.scale);
        if (t.base == B::DateTime2) return tds::TypeInfo::timeBytes(t.scale) + 3; // and a date
        return t.wire().maxLen;
    }
}

void typeFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto p = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    auto t = p ? SqlType::fromDeclared(p) : std::nullopt;
    const auto what = static_cast<int>(reinterpret_cast<std::intptr_t>(sqlite3_user_data(ctx)));
    if (!t) return sqlite3_result_null(ctx);
    if (what == 0) { // the type's name without its size
        const std::string n = t->tsqlName();
        return sqlite3_result_text(ctx, n.substr(0, n.find('(')).c_str(), -1, SQLITE_TRANSIENT);
    }
    const std::optional<int> v = typeProperty(*t, what);
    if (!v) return sqlite3_result_null(ctx);
    sqlite3_result_int(ctx, *v);
}

void lenFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    auto p = static_cast<const char16_t*>(sqlite3_value_text16(argv[0]));
    int n = sqlite3_value_bytes16(argv[0]) / 2;
    while (n > 0 && p[n - 1] == u' ')
        --n; // LEN ignores trailing blanks
    sqlite3_result_int(ctx, n);
}

// The catalogue helpers, each answered by the case of typeFn at its place (its user data).
const char* const kTypeFunctions[] = {
    "rowlark_type_name",          "rowlark_char_length",    "rowlark_precision", "rowlark_scale",
    "rowlark_datetime_precision", "rowlark_system_type_id", "rowlark_max_length"};

// The store's actions on a table, as its authorizer reports them, and which of the two names
// given is the table's.
struct TableAction {
    int action;
    Access::Kind kind;
    bool second;
};
constexpr TableAction kTableActions[] = {{SQLITE_READ, Access::Read, false},
                                         {SQLITE_INSERT, Access::Write, false},
                                         {SQLITE_UPDATE, Access::Write, false},
                                         {SQLITE_DELETE, Access::Write, false},
                                         {SQLITE_CREATE_INDEX, Access::Schema, true},
                                         {SQLITE_CREATE_TEMP_INDEX, Access::Schema, true},
                                         {SQLITE_DROP_INDEX, Access::Schema, true},
                                         {SQLITE_DROP_TEMP_INDEX, Access::Schema, true},
                                         {SQLITE_ALTER_TABLE, Access::Schema, true},
                                         {SQLITE_CREATE_TABLE, Access::Schema, false},
                                         {SQLITE_CREATE_TEMP_TABLE, Access::Schema, false},
                                         {SQLITE_DROP_TABLE, Access::Schema, false},
                                         {SQLITE_DROP_TEMP_TABLE, Access::Schema, false},
                                         {SQLITE_CREATE_VIEW, Access::Schema, false},
                                         {SQLITE_DROP_VIEW, Access::Schema, false}};

} // namespace

// The next number of the statement's numbering: one counter per connection, no lock, no lookup.
void Database::nextNumberFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* db = static_cast<Database*>(sqlite3_user_data(ctx));
    const std::int64_t n = db->numbered_++;
    sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]) + n * sqlite3_value_int64(argv[1]));
}

Store::Store(fs::path dir) : dir_(std::move(dir)) {
    // SQLite keeps memory statistics behind one lock for the whole process, taken for every
    // allocation: each value streamed to a client allocates. Nothing here reads them. (Refused,
    // harmlessly, once SQLite has started.)
    [[maybe_unused]] static const int once = sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    fs::create_directories(dir_);
    if (!find("master")) create("master");
    // tempdb starts empty with the server, as a server's does.
    if (const auto old = find("tempdb")) drop(*old);
    create("tempdb");
}

std::optional<std::string> Store::find(std::string_view name) const {
    std::lock_guard lock(mutex_);
    for (const auto& e : fs::directory_iterator(dir_))
        if (e.path().extension() == kExt && iequals(e.path().stem().string(), name))
            return e.path().stem().string();
    return std::nullopt;
}

fs::path Store::path(std::string_view name) const {
    return dir_ / (std::string(name) + kExt);
}

void Store::create(std::string_view name) {
    if (name.empty() || name.find('/') != std::string_view::npos ||
        name.find('\0') != std::string_view::npos || name == "." || name == "..")
        throw syntaxNear(std::string(name));
    if (find(name))
        throw SqlError{1801, 16, 3,
                       "Database '" + std::string(name) +
                           "' already exists. Choose a different database name."};
    std::lock_guard lock(mutex_);
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path(name).c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc == SQLITE_OK)
        rc = sqlite3_exec(db, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    if (rc != SQLITE_OK)
        throw SqlError{1802, 16, 1, "CREATE DATABASE failed for '" + std::string(name) + "'."};
}

void Store::drop(std::string_view name) {
    auto found = find(name);
    if (!found) throw cannotDrop("the database '" + std::string(name) + "'", 1);
    std::lock_guard lock(mutex_);
    for (const char* suffix : {"", "-wal", "-shm"})
        fs::remove(path(*found).string() + suffix);
}

Database::Database(const Store& store, const std::string& name) : name_(name) {
    const std::string file = fs::absolute(store.path(name)).string();
    // A connection belongs to one session, served by one thread: SQLite need not lock it for
    // every call, which would cost a lock for each value of each row streamed.
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        SqlError e = cannotOpenDatabase(name);
        e.message += " (" + std::string(db_ ? sqlite3_errmsg(db_) : "out of memory") + ")";
        sqlite3_close(db_);
        throw e;
    }
    sqlite3_busy_timeout(db_, 30000);
    // "name" is always a name, never a string: a misspelt column must fail, not read as text.
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
    sqlite3_db_config(db_, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
    sqlite3_exec(db_,
                 "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA cache_size=-65536;",
                 nullptr, nullptr, nullptr);
    registerCollations(db_);
    registerTsqlFunctions(db_);
    registerConversions(db_);
    registerConvert(db_);
    define("rowlark_object_id", 1, objectIdFn);
    define("rowlark_object_id", 2, objectIdFn);
    for (std::size_t i = 0; i < std::size(kTypeFunctions); ++i)
        define(kTypeFunctions[i], 1, typeFn, reinterpret_cast<void*>(i), true);
    define("rowlark_len", 1, lenFn, nullptr, true);
    define(kIdentityFn, 4, identityFn, &lastIdentity_);
    define("rowlark_next_number", 2, nextNumberFn, this);
    sqlite3_set_authorizer(db_, authorize, this);
    exec(catalogueViews(name));
}

Database::~Database() {
    sqlite3_close_v2(db_);
}

void Database::define(const char* name, int args, Function fn, void* data, bool deterministic) {
    sqlite3_create_function(db_, name, args,
                            SQLITE_UTF8 | (deterministic ? SQLITE_DETERMINISTIC : 0), data, fn,
                            nullptr, nullptr);
}

void Database::exec(const std::string& sql, const std::string& table) {
    const char* at = sql.c_str();
    const char* end = at + sql.size();
    while (at < end) {
        const Stmt st(prepare(at, static_cast<int>(end - at), table, &at), sqlite3_finalize);
        if (!st) continue;
        int rc = SQLITE_ROW;
        while (rc == SQLITE_ROW)
            rc = sqlite3_step(st.get());
        if (rc != SQLITE_DONE) throw fromStore(sqlite3_errmsg(db_), table);
    }
}

// Notes, while a statement is prepared, each table it reads, writes or whose schema it changes.
int Database::authorize(void* self, int action, const char* a, const char* b, const char* schema,
                        const char*) {
    auto* db = static_cast<Database*>(self);
    const auto* found = std::ranges::find(kTableActions, action, &TableAction::action);
    if (!db->collecting_ || found == std::end(kTableActions)) return SQLITE_OK;
    Access access{found->second ? b : a, false, found->kind};
    // (A table read for no column, as by COUNT(*), comes without its schema.)
    access.temp = schema ? std::string_view(schema) == "temp" : isTempName(access.table);
    // The store's own tables, and the catalogue views' and the undo logs' helpers, take no lock.
    if (access.table.rfind("sqlite_", 0) == 0 || access.table.rfind("rowlark_", 0) == 0 ||
        (access.temp && !isTempName(access.table)))
        return SQLITE_OK;
    db->accesses_.push_back(std::move(access));
    return SQLITE_OK;
}

sqlite3_stmt* Database::prepare(const char* sql, int size, const std::string& table,
                                const char** tail) {
    sqlite3_stmt* st = nullptr;
    accesses_.clear();
    collecting_ = hook_ != nullptr;
    const int rc = sqlite3_prepare_v2(db_, sql, size, &st, tail);
    collecting_ = false;
    if (rc != SQLITE_OK) throw fromStore(sqlite3_errmsg(db_), table);
    if (!st || accesses_.empty()) return st;
    AccessHook* hook = std::exchange(hook_, nullptr); // what the hook runs is its own
    try {
        hook->accessing(std::vector<Access>(std::move(accesses_)));
    } catch (...) {
        hook_ = hook;
        sqlite3_finalize(st);
        throw;
    }
    hook_ = hook;
    return st;
}

const TableDef* Database::table(std::string_view name, const char* inSchema) {
    const std::string schema = inSchema ? inSchema : schemaOf(name);
    std::string key = schema + "." + toLower(name);
    if (auto it = tables_.find(key); it != tables_.end()) return it->second.get();
    Stmt found = stmt(db_, "SELECT name, type = 'view' FROM " + schema +
                               ".sqlite_master WHERE type IN ('table','view') AND name = ?1 "
                               "COLLATE NOCASE");
    sqlite3_bind_text(found.get(), 1, std::string(name).c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(found.get()) != SQLITE_ROW) return nullptr;
    auto def = std::make_unique<TableDef>();
    def->name = reinterpret_cast<const char*>(sqlite3_column_text(found.get(), 0));
    def->isView = sqlite3_column_int(found.get(), 1) != 0;
    found.reset();
    const Stmt columns =
        stmt(db_, "PRAGMA " + schema + ".table_info(" + quoteIdent(def->name) + ")");
    sqlite3_stmt* st = columns.get();
    while (sqlite3_step(st) == SQLITE_ROW) {
        ColumnDef c;
        c.name = reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
        auto decl = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
        c.declared = decl ? decl : "";
        c.type = SqlType::fromDeclared(c.declared).value_or(SqlType{BaseType::NVarChar, 4000});
        c.notNull = sqlite3_column_int(st, 3) != 0;
        auto dflt = reinterpret_cast<const char*>(sqlite3_column_text(st, 4));
        c.identity = dflt && isIdentityDefault(dflt);
        c.rowKey = c.declared == kRowKeyType && sqlite3_column_int(st, 5) == 1;
        const char* collation = nullptr;
        if (c.type.isText() && sqlite3_table_column_metadata(
                                   db_, schema.c_str(), def->name.c_str(), c.name.c_str(), nullptr,
                                   &collation, nullptr, nullptr, nullptr) == SQLITE_OK)
            for (int id = kCiAs; id <= kBin && collation; ++id)
                if (std::string_view(collation) == collationName(id)) c.collation = id;
        if (c.identity) def->identityIndex = static_cast<int>(def->columns.size());
        def->columns.push_back(std::move(c));
    }
    return tables_.emplace(key, std::move(def)).first->second.get();
}

void forgetIdentity(const Database& db, std::string_view table) {
    std::lock_guard lock(gIdentityMutex);
    gIdentity.erase(identityKey(db.handle(), table));
}

void setNextIdentity(const Database& db, std::string_view table, std::int64_t next) {
    std::lock_guard lock(gIdentityMutex);
    gIdentity[identityKey(db.handle(), table)] = next;
}

void keepIdentityAbove(const Database& db, const TableDef& table) {
    const Stmt st =
        stmt(db.handle(), "SELECT max(" + quoteIdent(table.columns[table.identityIndex].name) +
                              ") FROM " + quoteIdent(table.name));
    if (sqlite3_step(st.get()) != SQLITE_ROW || sqlite3_column_type(st.get(), 0) == SQLITE_NULL)
        return;
    std::lock_guard lock(gIdentityMutex);
    // A counter at or below the highest value is dropped: its next use counts on from the
    // table's highest value, as a table never used since start does.
    const auto it = gIdentity.find(identityKey(db.handle(), table.name));
    if (it != gIdentity.end() && it->second <= sqlite3_column_int64(st.get(), 0))
        gIdentity.erase(it);
}

std::string identityDefault(std::string_view table, std::string_view column, std::int64_t seed,
                            std::int64_t increment) {
    return std::string(kIdentityFn) + "(" + quoteString(table) + ", " + quoteString(column) + ", " +
           std::to_string(seed) + ", " + std::to_string(increment) + ")";
}

bool isIdentityDefault(std::string_view d) {
    d.remove_prefix(std::min(d.find_first_not_of('('), d.size()));
    return d.starts_with(kIdentityFn);
}

} // namespace sandbox
