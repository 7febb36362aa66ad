#include "session.h"

#include "rpc_parameters.h"
#include "sql/text.h"

#include "tds/envchange.h"
#include "tds/login7.h"
#include "tds/loginack.h"
#include "tds/message.h"
#include "tds/older_versions.h"
#include "tds/prelogin.h"
#include "tds/request.h"
#include "tds/returnstatus.h"
#include "tds/tokens.h"

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace sandbox {
namespace {

constexpr std::uint16_t kSpid = 51;

struct Disconnected {};

std::string lowerAscii(std::u16string_view s) {
    std::string out;
    for (char16_t c : s)
        out.push_back(c < 128 ? foldAscii(static_cast<char>(c)) : '?');
    return out;
}

// Whether the call names the procedure, by name (proc: lower case, without its schema) or by id.
bool calls(const tds::RpcRequest& request, const std::string& proc, const char* name, int id) {
    return proc == name || (request.procName.empty() && request.procId == id);
}

SqlError unreadableParameter() {
    return SqlError{8016, 16, 1,
                    "The sandbox cannot read a parameter of this type; it reads the integer, "
                    "bit, float, decimal, money, character, binary, date and time and "
                    "uniqueidentifier types."};
}

SqlError noSuchHandle(std::int64_t handle) {
    return SqlError{8179, 16, 4,
                    "Could not find prepared statement with handle " + std::to_string(handle) +
                        "."};
}

} // namespace

Session::Session(int fd, Store& store, const Credentials& credentials, long loginSeconds,
                 std::string refusal)
    : fd_(fd), store_(store), credentials_(credentials), loginSeconds_(loginSeconds),
      refusal_(std::move(refusal)),
      reader_([this](std::uint8_t* into, std::size_t n) { return readExact(into, n); }),
      replies_(tds::kReply, kSpid,
               [this](const std::uint8_t* data, std::size_t n) { writeAll(data, n); }) {}

Session::~Session() {
    if (!loggedInTo_.empty()) store_.faults().sessionEnded(loggedInTo_);
}

bool Session::readExact(std::uint8_t* into, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::recv(fd_, into + got, n - got, 0);
        if (r == 0) {
            if (got == 0) return false;
            throw tds::ProtocolError("connection closed inside a read");
        }
        if (r < 0) {
            if (errno == EINTR) continue;
            throw Disconnected{};
        }
        got += static_cast<std::size_t>(r);
    }
    return true;
}

void Session::writeAll(const std::uint8_t* data, std::size_t n) {
    while (n) {
        ssize_t w = ::send(fd_, data, n, MSG_NOSIGNAL);
        if (w < 0) {
            if (errno == EINTR) continue;
            throw Disconnected{};
        }
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

void Session::flushFullPackets() {
    if (replies_.flushFull()) packetSent_ = true;
}

void Session::endMessage() {
    replies_.endMessage();
}

void Session::flushPendingDone() {
    if (!hasPending_) return;
    pending_.status |= tds::kDoneMore;
    pending_.encode(out_, tdsVersion_);
    hasPending_ = false;
}

void Session::queueDone(std::uint16_t status, std::uint64_t count) {
    flushPendingDone();
    pending_ = tds::Done{inProc_ ? tds::kTokDoneInProc : tds::kTokDone, status, 0xC1, count};
    if (engine_ && engine_->inTransaction()) pending_.status |= tds::kDoneInXact;
    hasPending_ = true;
    flushFullPackets();
}

tds::ServerMessage Session::message(int number, int severity, int state, const std::string& text,
                                    bool isError) const {
    tds::ServerMessage m;
    m.isError = isError;
    m.number = number;
    m.severity = static_cast<std::uint8_t>(severity);
    m.state = static_cast<std::uint8_t>(state);
    m.text = tds::utf16(text);
    m.server = u"ROWLARK-SANDBOX";
    return m;
}

void Session::columns(const std::vector<tds::ColumnInfo>& columns) {
    flushPendingDone();
    sourceTypes_.clear();
    columns_ = columns;
    for (auto& c : columns_) {
        sourceTypes_.push_back(c.type);
        c.type = tds::typeForVersion(c.type, tdsVersion_);
    }
    rowRuleTaken_ = false;
    tds::encodeColMetadata(out_, columns_, tdsVersion_);
}

bool Session::row(const std::vector<tds::Value>& values) {
    // A cancel can only follow what the client has seen: look for one once per packet sent.
    if (packetSent_) {
        packetSent_ = false;
        if (cancelled()) return false;
    }
    if (!rowRuleTaken_) {
        rowsLeft_ = store_.faults().takeRowLimit(engine_->database());
        rowRuleTaken_ = true;
    }
    if (rowsLeft_ && (*rowsLeft_)-- <= 0) {
        flushFullPackets(); // what was already sent is on the wire; then the server is gone
        throw Disconnected{};
    }
    const std::size_t start = out_.size();
    out_.u8(tds::kTokRow);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        try {
            const tds::TypeInfo& sent = columns_[i].type;
            if (sent == sourceTypes_[i])
                tds::encodeValue(out_, sent, values[i]);
            else
                tds::encodeValue(out_, sent,
                                 tds::valueForVersion(sourceTypes_[i], sent, values[i]));
        } catch (const std::invalid_argument& e) {
            out_.bytes().resize(start); // no half row on the wire
            throw SqlError{8152, 16, 1, e.what()};
        }
    }
    flushFullPackets();
    return true;
}

void Session::done(bool hasCount, std::uint64_t count) {
    queueDone(hasCount ? tds::kDoneCount : 0, count);
}

void Session::error(const SqlError& e) {
    flushPendingDone();
    tds::ServerMessage m = message(e.number, e.severity, e.state, e.message, true);
    m.line = e.line;
    m.encode(out_, tdsVersion_);
    queueDone(tds::kDoneError, 0);
}

void Session::info(int number, const std::string& text) {
    flushPendingDone();
    message(number, 0, 1, text, false).encode(out_, tdsVersion_);
}

void Session::envChange(const tds::EnvChange& change) {
    flushPendingDone();
    change.encode(out_);
}

bool Session::cancelled() {
    if (attention_) return true;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0 || !(p.revents & POLLIN)) return false;
    tds::Message m;
    if (!reader_.next(m)) throw Disconnected{};
    if (m.type != tds::kAttention) throw tds::ProtocolError("request while a reply was under way");
    attention_ = true;
    return true;
}

void Session::acknowledgeAttention() {
    tds::Done{tds::kTokDone, tds::kDoneAttn, 0, 0}.encode(out_, tdsVersion_);
    endMessage();
}

void Session::finishRequest(bool completed) {
    if (!completed || attention_) {
        // The reply so far ends as a message of its own; the acknowledgment of the cancel follows
        // as the next message, where clients look for it (one reads on to it token by token,
        // another reads the message after the one under way).
        hasPending_ = false;
        returnValues_.clear();
        tds::Done{}.encode(out_, tdsVersion_);
        endMessage();
        attention_ = false;
        inProc_ = false;
        return acknowledgeAttention();
    }
    if (inProc_) {
        flushPendingDone();
        tds::encodeReturnStatus(out_, 0);
        for (const auto& v : returnValues_)
            v.encode(out_, tdsVersion_);
        tds::Done{tds::kTokDoneProc, 0, 0, 0}.encode(out_, tdsVersion_);
    } else if (hasPending_) {
        pending_.encode(out_, tdsVersion_);
    } else {
        tds::Done{}.encode(out_, tdsVersion_);
    }
    hasPending_ = false;
    inProc_ = false;
    returnValues_.clear();
    endMessage();
}

void Session::loginFailed(const std::vector<tds::ServerMessage>& messages) {
    for (const auto& m : messages)
        m.encode(out_, tdsVersion_);
    tds::Done{tds::kTokDone, tds::kDoneError, 0, 0}.encode(out_, tdsVersion_);
    endMessage();
}

bool Session::login() {
    tds::Message m;
    if (!reader_.next(m)) return false;
    if (m.type == tds::kPrelogin) {
        tds::Prelogin::decode(m.payload);
        out_.raw(tds::Prelogin::serverReply().encode());
        endMessage();
        if (!reader_.next(m)) return false;
    }
    if (m.type != tds::kLogin7) throw tds::ProtocolError("expected a login");
    tds::Login7 login = tds::Login7::decode(m.payload);
    tdsVersion_ = tds::negotiateVersion(login.tdsVersion);
    if (login.packetSize >= 512 && login.packetSize <= 32767)
        replies_.setPacketSize(login.packetSize);
    reader_.setMaxPacketSize(std::max<std::size_t>(replies_.packetSize(), 4096));

    if (!refusal_.empty()) {
        loginFailed({message(17809, 20, 1, refusal_, true)});
        return false;
    }
    const std::string user = tds::utf8(login.userName);
    if (user != credentials_.user || tds::utf8(login.password) != credentials_.password) {
        loginFailed({message(18456, 14, 1, "Login failed for user '" + user + "'.", true)});
        return false;
    }
    std::string database = login.database.empty() ? "master" : tds::utf8(login.database);
    try {
        engine_ = std::make_unique<Engine>(store_, database);
    } catch (const SqlError& e) {
        loginFailed({message(4060, 11, 1,
                             "Cannot open database \"" + database +
                                 "\" requested by the login. The login failed.",
                             true),
                     message(18456, 14, 1, "Login failed for user '" + user + "'.", true)});
        return false;
    }
    loggedInTo_ = engine_->database();
    store_.faults().sessionStarted(loggedInTo_);
    tds::EnvChange db;
    db.type = tds::kEnvDatabase;
    db.newText = tds::utf16(engine_->database());
    db.oldText = u"master";
    db.encode(out_);
    info(5701, "Changed database context to '" + engine_->database() + "'.");
    tds::EnvChange collation;
    collation.type = tds::kEnvCollation;
    collation.newBytes.assign(std::begin(tds::kCollation), std::end(tds::kCollation));
    collation.encode(out_);
    tds::EnvChange language;
    language.type = tds::kEnvLanguage;
    language.newText = u"us_english";
    language.encode(out_);
    info(5703, "Changed language setting to us_english.");
    tds::LoginAck ack;
    ack.tdsVersion = tdsVersion_;
    ack.encode(out_);
    tds::EnvChange size;
    size.type = tds::kEnvPacketSize;
    size.newText = tds::utf16(std::to_string(replies_.packetSize()));
    size.oldText = u"4096";
    size.encode(out_);
    tds::Done{}.encode(out_, tdsVersion_);
    endMessage();
    return true;
}

void Session::batch(const tds::Message& m) {
    const std::string text = tds::utf8(tds::SqlBatch::decode(m.payload).text);
    switch (store_.faults().onBatch(engine_->database(), text)) {
    case Faults::Action::Drop:
        throw Disconnected{};
    case Faults::Action::Refuse:
        error(SqlError{50000, 16, 1, "The sandbox refused this batch (a fault rule matched it)."});
        return finishRequest(true);
    case Faults::Action::None:
        break;
    }
    bool completed = engine_->executeBatch(text, *this);
    finishRequest(completed);
}

void Session::bulkLoad(const tds::Message& m) {
    tds::BulkLoad load;
    try {
        load = tds::BulkLoad::decode(m.payload, tdsVersion_);
    } catch (const tds::UnknownType&) {
        // The message was read whole: the connection goes on, as after a parameter of a type
        // the sandbox does not read.
        engine_->forgetBulkLoad();
        error(SqlError{40000, 16, 1, "The sandbox does not read a column type of this bulk load."});
        return finishRequest(true);
    }
    engine_->bulkLoad(load, *this);
    finishRequest(true);
}

void Session::rpc(const tds::Message& m) {
    tds::RpcRequest request = tds::RpcRequest::decode(m.payload);
    inProc_ = true;
    std::string proc = lowerAscii(request.procName);
    if (auto dot = proc.rfind('.'); dot != std::string::npos) proc = proc.substr(dot + 1);
    if (proc == "sp_tables") {
        TableFilter f;
        auto get = [&](const char16_t* name) -> std::optional<std::string> {
            auto v = request.text(name);
            if (!v) return std::nullopt;
            return tds::utf8(*v);
        };
        f.name = get(u"@table_name");
        f.owner = get(u"@table_owner");
        f.qualifier = get(u"@table_qualifier");
        f.types = get(u"@table_type");
        try {
            engine_->listTables(f, *this);
        } catch (const SqlError& e) {
            error(e);
        }
    } else if (calls(request, proc, "sp_executesql", 10)) {
        return executeSql(request);
    } else if (calls(request, proc, "sp_prepare", 11)) {
        return prepare(request, false);
    } else if (calls(request, proc, "sp_execute", 12)) {
        return executePrepared(request);
    } else if (calls(request, proc, "sp_prepexec", 13)) {
        return prepare(request, true);
    } else if (calls(request, proc, "sp_unprepare", 15)) {
        return unprepare(request);
    } else {
        std::string name = request.procName.empty() ? "#" + std::to_string(request.procId)
                                                    : tds::utf8(request.procName);
        error(SqlError{2812, 16, 62,
                       "Could not find stored procedure '" + name +
                           "'. The sandbox answers only sp_executesql, sp_prepare, sp_execute, "
                           "sp_prepexec, sp_unprepare and sp_tables."});
    }
    finishRequest(!attention_);
}

// sp_executesql: the statement (first), the parameters' declarations (second), then their values.
void Session::executeSql(const tds::RpcRequest& request) {
    const auto* statement =
        request.params.empty() ? nullptr : std::get_if<std::u16string>(&request.params[0].value);
    if (!request.paramsComplete) {
        error(unreadableParameter());
    } else if (!statement) {
        error(SqlError{214, 16, 2,
                       "Procedure expects parameter '@statement' of type 'ntext/nchar/nvarchar'."});
    } else {
        const auto* declarations = request.params.size() > 1
                                       ? std::get_if<std::u16string>(&request.params[1].value)
                                       : nullptr;
        return runWithParameters(
            *statement, declarations ? *declarations : std::u16string(),
            std::vector<tds::RpcParam>(request.params.begin() +
                                           std::min<std::size_t>(2, request.params.size()),
                                       request.params.end()),
            2);
    }
    finishRequest(!attention_);
}

// sp_prepare and sp_prepexec: the handle (an output parameter), the parameters' declarations, the
// statement, then (sp_prepexec) the values. The handle goes back as a return value.
void Session::prepare(const tds::RpcRequest& request, bool execute) {
    const auto* statement =
        request.params.size() < 3 ? nullptr : std::get_if<std::u16string>(&request.params[2].value);
    if (!request.paramsComplete) {
        error(unreadableParameter());
        return finishRequest(!attention_);
    }
    if (!statement) {
        error(SqlError{214, 16, 2,
                       "Procedure expects parameter '@stmt' of type 'ntext/nchar/nvarchar'."});
        return finishRequest(!attention_);
    }
    const auto* declarations = std::get_if<std::u16string>(&request.params[1].value);
    Prepared p{declarations ? *declarations : std::u16string(), *statement};
    const std::int32_t handle = prepared_.add(p);
    returnValues_.push_back(
        tds::ReturnValue{0, request.params[0].name, 0x01, {tds::kIntN, 4}, std::int64_t{handle}});
    if (!execute) return finishRequest(true);
    runPrepared(p, std::vector<tds::RpcParam>(request.params.begin() + 3, request.params.end()), 3);
}

// sp_execute: the handle, then the values.
void Session::executePrepared(const tds::RpcRequest& request) {
    const auto* handle =
        request.params.empty() ? nullptr : std::get_if<std::int64_t>(&request.params[0].value);
    const Prepared* p = handle ? prepared_.find(static_cast<std::int32_t>(*handle)) : nullptr;
    if (!request.paramsComplete) {
        error(unreadableParameter());
    } else if (!p) {
        error(noSuchHandle(handle ? *handle : 0));
    } else {
        return runPrepared(
            *p, std::vector<tds::RpcParam>(request.params.begin() + 1, request.params.end()), 1);
    }
    finishRequest(!attention_);
}

void Session::runPrepared(const Prepared& p, std::vector<tds::RpcParam> values,
                          std::size_t firstOrdinal) {
    runWithParameters(p.statement, p.declarations, std::move(values), firstOrdinal);
}

void Session::runWithParameters(std::u16string_view statement, std::u16string_view declarations,
                                std::vector<tds::RpcParam> values, std::size_t firstOrdinal) {
    Variables variables;
    try {
        const std::vector<Declaration> declared = parseDeclarations(declarations);
        values = namedByDeclaration(declared, std::move(values));
        variables = parameterVariables(declared, values);
    } catch (const SqlError& e) {
        error(e);
        return finishRequest(!attention_);
    } catch (const LexError& e) {
        error(SqlError{e.number, 15, 1, e.message, true});
        return finishRequest(!attention_);
    }
    const bool completed =
        engine_->executeBatch(tds::utf8(statement), *this, std::move(variables), true);
    // Output parameters go back as return values, in the type the client sent them.
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (!(values[k].status & 0x01)) continue;
        const auto found = engine_->variables().find(toLower(tds::utf8(values[k].name)));
        tds::ReturnValue out{static_cast<std::uint16_t>(firstOrdinal + k), values[k].name, 0x01,
                             values[k].type, tds::Value{}};
        if (found != engine_->variables().end()) {
            tds::Value value = found->second.value;
            // A decimal goes back scaled as the client's type is, which need not be the declared
            // one's.
            if (auto* d = std::get_if<tds::Decimal>(&value)) {
                const SqlType& declared = found->second.type;
                const bool money =
                    declared.base == BaseType::Money || declared.base == BaseType::SmallMoney;
                const int from = money ? 4 : declared.scale;
                const int to = out.type.type == tds::kMoneyN ? 4 : out.type.scale;
                for (int k = from; k < to; ++k)
                    d->scaled *= 10;
                for (int k = to; k < from; ++k)
                    d->scaled = (d->scaled + (d->scaled < 0 ? -5 : 5)) / 10;
            }
            tds::Writer probe;
            try {
                tds::encodeValue(probe, out.type, value);
                out.value = std::move(value);
            } catch (const std::invalid_argument&) {
                // a value that the client's type cannot carry goes back as NULL
            }
        }
        returnValues_.push_back(std::move(out));
    }
    finishRequest(completed);
}

void Session::unprepare(const tds::RpcRequest& request) {
    const auto* handle =
        request.params.empty() ? nullptr : std::get_if<std::int64_t>(&request.params[0].value);
    if (!handle || !prepared_.remove(static_cast<std::int32_t>(*handle)))
        error(noSuchHandle(handle ? *handle : 0));
    finishRequest(!attention_);
}

void Session::transaction(const tds::Message& m) {
    auto request = tds::TransactionManager::decode(m.payload);
    try {
        if (request.request == tds::kTmBegin)
            engine_->beginTransaction(*this);
        else if (request.request == tds::kTmCommit)
            engine_->commit(*this);
        else if (request.request == tds::kTmRollback)
            engine_->rollback(*this);
        else
            throw unsupported("this transaction request");
        if (request.beginAnother) engine_->beginTransaction(*this);
    } catch (const SqlError& e) {
        error(e);
    }
    finishRequest(true);
}

void Session::run() {
    try {
        // A client that never finishes its login does not hold its thread for ever.
        timeval limit{loginSeconds_, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        const bool in = login();
        timeval none{0, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &none, sizeof none);
        if (!in) return;
        tds::Message m;
        while (reader_.next(m)) {
            if (m.oversized && m.type != tds::kAttention) {
                error(SqlError{40000, 16, 1,
                               "The sandbox does not take a request larger than 64 MB."});
                finishRequest(true);
                continue;
            }
            switch (m.type) {
            case tds::kSqlBatch:
                batch(m);
                break;
            case tds::kRpc:
                rpc(m);
                break;
            case tds::kTransactionManager:
                transaction(m);
                break;
            case tds::kBulkLoad:
                bulkLoad(m);
                break;
            case tds::kAttention: // the request it meant had ended already
                acknowledgeAttention();
                break;
            default:
                throw tds::ProtocolError("unexpected packet type");
            }
        }
    } catch (const tds::ProtocolError&) {
    } catch (const Disconnected&) {
    } catch (const std::exception&) {
        // Whatever else goes wrong inside one connection ends that connection only.
    }
    ::shutdown(fd_, SHUT_RDWR); // the client sees the end at once, not when the thread is reaped
}

} // namespace sandbox
