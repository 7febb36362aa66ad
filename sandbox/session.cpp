#include "session.h"

#include "tds/envchange.h"
#include "tds/login7.h"
#include "tds/loginack.h"
#include "tds/older_versions.h"
#include "tds/prelogin.h"
#include "tds/returnstatus.h"
#include "tds/tokens.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <utility>

namespace sandbox {
namespace {

constexpr std::uint16_t kSpid = 51;

struct Disconnected {};

bool readExact(int fd, std::uint8_t* into, std::size_t n) {
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::recv(fd, into + got, n - got, 0);
        if (r == 0) {
            if (got == 0) return false;
            throw tds::ProtocolError("connection closed inside a read");
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) throw Disconnected{};
        got += static_cast<std::size_t>(r);
    }
    return true;
}

void writeAll(int fd, const std::uint8_t* data, std::size_t n) {
    while (n) {
        ssize_t w = ::send(fd, data, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) throw Disconnected{};
        data += w;
        n -= static_cast<std::size_t>(w);
    }
}

// Holds the request for an injected delay like a statement that keeps the server busy: a cancel is
// not looked at meanwhile, but the end of the connection is (a lost connection), whether the client
// cut it or the server is stopping (it shuts every connection down), so neither waits it out.
void holdFor(int fd, long milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (auto now = Clock::now(); now < until; now = Clock::now()) {
        pollfd p{fd, POLLRDHUP, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - now);
        const int r = ::poll(&p, 1, static_cast<int>(left.count()) + 1);
        if (r < 0 && errno != EINTR) throw Disconnected{};
        if (r > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR))) throw Disconnected{};
    }
}

tds::ServerMessage message(const SqlError& e, bool isError = true) {
    const auto state = std::uint8_t(e.state), severity = std::uint8_t(e.severity);
    return {isError, e.number, state, severity, tds::utf16(e.message), u"ROWLARK-SANDBOX",
            {},      e.line};
}

} // namespace

Session::Session(int fd, Store& store, const Credentials& credentials, long loginSeconds,
                 std::string refusal)
    : fd_(fd), store_(store), credentials_(credentials), loginSeconds_(loginSeconds),
      refusal_(std::move(refusal)),
      reader_([this](std::uint8_t* into, std::size_t n) { return readExact(fd_, into, n); }),
      replies_(tds::kReply, kSpid,
               [this](const std::uint8_t* data, std::size_t n) { writeAll(fd_, data, n); }) {}

Session::~Session() {
    if (!loggedInTo_.empty()) store_.faults().countSession(loggedInTo_, -1);
}

void Session::flushPendingDone() {
    if (!pending_) return;
    pending_->status |= tds::kDoneMore;
    pending_->encode(out_, tdsVersion_);
    pending_.reset();
}

void Session::queueDone(std::uint16_t status, std::uint64_t count) {
    flushPendingDone();
    pending_ = tds::Done{inProc_ ? tds::kTokDoneInProc : tds::kTokDone, status, 0xC1, count};
    if (engine_ && engine_->inTransaction()) pending_->status |= tds::kDoneInXact;
    packetSent_ |= replies_.flushFull();
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
    if (std::exchange(packetSent_, false) && cancelled()) return false;
    if (!std::exchange(rowRuleTaken_, true))
        rowsLeft_ = store_.faults().takeRowLimit(engine_->database());
    if (rowsLeft_ && (*rowsLeft_)-- <= 0) {
        replies_.flushFull(); // what was already sent is on the wire; then the server is gone
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
    packetSent_ |= replies_.flushFull();
    return true;
}

void Session::done(bool hasCount, std::uint64_t count) {
    queueDone(hasCount ? tds::kDoneCount : 0, count);
}

void Session::error(const SqlError& e) {
    flushPendingDone();
    message(e).encode(out_, tdsVersion_);
    queueDone(tds::kDoneError, 0);
}

void Session::info(int number, const std::string& text) {
    flushPendingDone();
    message({number, 0, 1, text}, false).encode(out_, tdsVersion_);
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
    replies_.endMessage();
}

void Session::finishRequest(bool completed) {
    const bool cancelled = !completed || attention_;
    if (cancelled) {
        // The reply so far ends as a message of its own; the acknowledgment of the cancel follows
        // as the next message, where clients look for it (one reads on to it token by token,
        // another reads the message after the one under way).
        tds::Done{}.encode(out_, tdsVersion_);
        attention_ = false;
        moreCalls_ = false; // the calls after a cancelled one do not run
    } else if (inProc_) {
        flushPendingDone();
        tds::encodeReturnStatus(out_, 0);
        for (const auto& v : returnValues_)
            v.encode(out_, tdsVersion_);
        // a call with more after it in the same message: its DONEPROC says so, the message goes on
        tds::Done{tds::kTokDoneProc, moreCalls_ ? tds::kDoneMore : tds::kDoneFinal, 0, 0}.encode(
            out_, tdsVersion_);
    } else {
        pending_.value_or(tds::Done{}).encode(out_, tdsVersion_);
    }
    pending_.reset();
    inProc_ = false;
    returnValues_.clear();
    if (moreCalls_) return;
    replies_.endMessage();
    if (cancelled) acknowledgeAttention();
}

bool Session::loginFailed(const std::vector<SqlError>& errors) {
    for (const auto& e : errors)
        message(e).encode(out_, tdsVersion_);
    tds::Done{tds::kTokDone, tds::kDoneError, 0, 0}.encode(out_, tdsVersion_);
    replies_.endMessage();
    return false;
}

bool Session::login() {
    tds::Message m;
    if (!reader_.next(m)) return false;
    if (m.type == tds::kPrelogin) {
        tds::Prelogin::decode(m.payload);
        out_.raw(tds::Prelogin::serverReply().encode());
        replies_.endMessage();
        if (!reader_.next(m)) return false;
    }
    if (m.type != tds::kLogin7) throw tds::ProtocolError("expected a login");
    tds::Login7 login = tds::Login7::decode(m.payload);
    tdsVersion_ = tds::negotiateVersion(login.tdsVersion);
    if (login.packetSize >= 512 && login.packetSize <= 32767)
        replies_.setPacketSize(login.packetSize);
    reader_.setMaxPacketSize(std::max<std::size_t>(replies_.packetSize(), 4096));

    if (!refusal_.empty()) return loginFailed({{17809, 20, 1, refusal_}});
    const std::string user = tds::utf8(login.userName);
    const SqlError failed{18456, 14, 1, "Login failed for user '" + user + "'."};
    if (user != credentials_.user || tds::utf8(login.password) != credentials_.password)
        return loginFailed({failed});
    std::string database = login.database.empty() ? "master" : tds::utf8(login.database);
    try {
        engine_ = std::make_unique<Engine>(store_, database);
    } catch (const SqlError&) {
        return loginFailed({cannotOpenDatabase(database), failed});
    }
    loggedInTo_ = engine_->database();
    store_.faults().countSession(loggedInTo_, 1);
    environment(tds::kEnvDatabase, tds::utf16(engine_->database()), u"master").encode(out_);
    info(5701, "Changed database context to '" + engine_->database() + "'.");
    tds::EnvChange collation = environment(tds::kEnvCollation, u"");
    collation.newBytes.assign(std::begin(tds::kCollation), std::end(tds::kCollation));
    collation.encode(out_);
    environment(tds::kEnvLanguage, u"us_english").encode(out_);
    info(5703, "Changed language setting to us_english.");
    tds::LoginAck{.tdsVersion = tdsVersion_}.encode(out_);
    environment(tds::kEnvPacketSize, tds::utf16(std::to_string(replies_.packetSize())), u"4096")
        .encode(out_);
    tds::Done{}.encode(out_, tdsVersion_);
    replies_.endMessage();
    return true;
}

void Session::batch(const tds::Message& m) {
    const std::string text = tds::utf8(tds::SqlBatch::decode(m.payload).text);
    if (const long delay = store_.faults().delayFor(engine_->database(), text)) holdFor(fd_, delay);
    switch (store_.faults().onBatch(engine_->database(), text)) {
    case Faults::Action::Drop:
        throw Disconnected{};
    case Faults::Action::Refuse:
        error(SqlError{50000, 16, 1, "The sandbox refused this batch (a fault rule matched it)."});
        return finishRequest(true);
    case Faults::Action::None:
        break;
    }
    finishRequest(engine_->executeBatch(text, *this));
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
        if (!login()) return;
        limit = {0, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
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
    } catch (const Disconnected&) {
    } catch (const std::exception&) {
        // A protocol error, or whatever else goes wrong inside one connection, ends that
        // connection only.
    }
    ::shutdown(fd_, SHUT_RDWR); // the client sees the end at once, not when the thread is reaped
}

} // namespace sandbox
