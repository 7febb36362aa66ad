// Runs T-SQL batches for one session against the store, reporting results to a sink.
#pragma once

#include "database.h"
#include "lexer.h"
#include "reading.h"
#include "tds/bulkload.h"
#include "tds/envchange.h"
#include "tds/row.h"

#include <functional>
#include <optional>
#include <set>

namespace sandbox {

// What a session does with the results; the calls for one statement are
// columns, row... , done — or error, which also ends the statement.
class ResultSink {
public:
    virtual ~ResultSink() = default;
    // Only errors must be handled; a sink that runs statements for their effect ignores the rest.
    virtual void columns(const std::vector<tds::ColumnInfo>&) {}
    // False when the client cancelled: the engine stops at once.
    virtual bool row(const std::vector<tds::Value>&) { return true; }
    virtual void done(bool /*hasCount*/, std::uint64_t /*count*/) {}
    virtual void error(const SqlError& e) = 0;
    virtual void info(int /*number*/, const std::string& /*text*/) {}
    virtual void envChange(const tds::EnvChange&) {}
    virtual bool cancelled() { return false; }
};

// A change of the session's environment (its database, language ...): the new value, the old.
inline tds::EnvChange environment(std::uint8_t type, std::u16string now,
                                  std::u16string before = {}) {
    tds::EnvChange e;
    e.type = type;
    e.newText = std::move(now);
    e.oldText = std::move(before);
    return e;
}

struct TableFilter {
    std::optional<std::string> name, owner, qualifier, types;
};

class Engine : private AccessHook {
public:
    // Throws SqlError 4060 when the database does not exist.
    Engine(Store& store, const std::string& database);
    ~Engine();

    const std::string& database() const { return db_->name(); }
    // Runs every statement of the batch; false when the client cancelled it.
    // The batch starts with the variables given (the parameters of a call), and they are read
    // back after it (its output parameters).
    // call: the batch is a call's (sp_executesql, a prepared statement), a scope of its own.
    bool executeBatch(std::string_view sql, ResultSink& sink, Variables variables = {},
                      bool call = false);
    const Variables& variables() const { return variables_; }
    // The tables catalogue that ODBC's SQLTables asks for.
    void listTables(const TableFilter& filter, ResultSink& sink);
    // Transaction requests outside SQL text: begin, commit, rollback.
    void beginTransaction(ResultSink& sink);
    void commit(ResultSink& sink);
    void rollback(ResultSink& sink);
    bool inTransaction() const { return tranCount_ > 0; }
    // The rows of a bulk load, into the table of the INSERT BULK statement before them.
    void bulkLoad(const tds::BulkLoad& load, ResultSink& sink);
    void forgetBulkLoad() { pendingBulk_.reset(); }

private:
    // rowlark_session('rowcount' | 'error' | 'trancount' | 'identity' | 'db_name'): what
    // @@ROWCOUNT, @@ERROR, @@TRANCOUNT, @@IDENTITY and DB_NAME() read, the session's state after
    // the statement before the one that asks.
    static void sessionFn(::sqlite3_context* ctx, int, ::sqlite3_value** argv);
    struct Cancelled {};
    bool run(const Statement& s, ResultSink& sink);
    void dispatch(const Tokens& t, ResultSink& sink);
    bool condition(const Tokens& t);

    void results(const struct BoundQuery& q, ResultSink& sink);
    void selectStatement(const Tokens& t, ResultSink& sink);
    void selectInto(struct Query& q, Query& first, ResultSink& sink);
    std::uint64_t insert(const Tokens& t); // the rows it added
    void changeStatement(const Tokens& t, ResultSink& sink);
    // CREATE, DROP, ALTER and TRUNCATE read at p, past their first words (ddl.cpp).
    void create(class Parser& p);
    void createTable(Parser& p);
    void createView(Parser& p);
    void createIndex(Parser& p, bool unique);
    void drop(Parser& p);
    void alter(Parser& p);
    void truncate(Parser& p);
    void addIdentityColumn(const TableDef& table, const struct ColumnDefinition& column);
    void use(const std::string& name, ResultSink& sink);
    // The statements that send nothing but their end, read past their first words.
    void set(Parser& p);
    void sandboxFault(Parser& p);
    void setIdentityInsert(Parser& p);
    void declare(Parser& p);
    void setVariable(Parser& p);
    // SELECT @a = expr, @b = expr [FROM ...].
    void selectAssign(Query& q, ResultSink& sink);
    std::uint64_t assign(Query& q);
    void insertBulk(const Tokens& t, ResultSink& sink);
    // Refuses an INSERT's columns that do not fit the table's IDENTITY_INSERT setting.
    void checkIdentityColumns(const TableDef& def, bool columnList, bool identityListed) const;
    void openTransaction(ResultSink& sink);
    void openDatabase(const std::string& name);
    void saveTransaction(Parser& p);
    void rollbackTo(const std::string& name, ResultSink& sink);
    void endTransaction(ResultSink& sink); // rolls the whole transaction back
    // Locks and the store's own transactions (locking.cpp).
    void accessing(const std::vector<Access>& accesses) override;
    void stepped() override;
    void lock(const std::string& resource, bool exclusive, bool forTransaction);
    std::string resource(const std::string& table) const; // "" for the store's write lock
    // Runs one statement: the store transaction it opened ends with it, and its statement locks.
    void statement(const std::function<void()>& work);
    void endStatement(bool ok);
    // The undo logs of a transaction that holds no store transaction (undo.cpp).
    void keepUndo(const Access& table);
    std::map<std::string, std::int64_t> undoPositions();
    void undoTo(const std::map<std::string, std::int64_t>& positions);
    void finishTransaction(bool commit); // commits or rolls back, and lets the locks go
    std::uint64_t change(const std::string& sql, const std::string& table);
    SqlError duplicateKey(const SqlError& e, const std::string& table);
    void inSavepoint(const std::function<void()>& work);

    Store& store_;
    std::unique_ptr<Database> db_;
    int tranCount_ = 0;
    bool implicitTransactions_ = false;
    bool noCount_ = false;    // SET NOCOUNT ON: statements send no row counts
    bool xactAbort_ = false;  // SET XACT_ABORT ON: an error ends the transaction
    bool formatOnly_ = false; // SET FMTONLY ON: queries send their columns only
    std::string outerName_;   // the outermost BEGIN TRAN's name, if it had one
    struct Savepoint {
        std::string name;
        std::map<std::string, std::int64_t> undo; // each undo log's length then
        bool inStore = false;                     // a savepoint of the store transaction too
    };
    std::vector<Savepoint> savepoints_; // SAVE TRAN points of the open transaction, in order
    long lockTimeout_ = 30000;          // SET LOCK_TIMEOUT, in milliseconds; -1 waits for ever
    std::set<std::string> statementLocks_, transactionLocks_; // held to their ends
    bool statementWrites_ = false;
    bool statementStore_ = false;   // the statement opened a store transaction of its own
    bool transactionStore_ = false; // the user transaction holds one (after a schema change)
    bool storeBegunHere_ = false;   // ... opened by this statement
    struct UndoLog {
        std::string table, log;
        bool temp = false, rowKey = false;
        std::vector<std::string> columns;
    };
    std::map<std::string, UndoLog> undo_;      // by the table's schema-qualified lower-case name
    std::vector<std::string> undoOfStatement_; // logs made inside the statement's store transaction
    std::uint64_t rowCount_ = 0;
    int lastError_ = 0;
    friend class CountingSink;
    std::uint64_t tranId_ = 0;
    std::string identityInsert_; // the table with IDENTITY_INSERT ON, if any
    Variables variables_;        // the batch's
    struct BulkTarget {
        std::string table;
        std::vector<std::string> columns;
        bool keepIdentity = false;
    };
    std::optional<BulkTarget> pendingBulk_; // INSERT BULK waits for its rows
};

} // namespace sandbox
