// One client connection: login, then requests answered through the engine.
#pragma once

#include "sql/engine.h"
#include "tds/done.h"
#include "tds/message.h"
#include "tds/packet.h"
#include "tds/request.h"
#include "tds/returnvalue.h"

#include <map>
#include <memory>
#include <string>

namespace sandbox {

struct Credentials {
    std::string user = "sa";
    std::string password;
};

// A statement a client prepared (sp_prepare, sp_prepexec), kept until sp_unprepare or the
// connection's end.
struct PreparedText {
    std::u16string declarations; // "@P1 int, @P2 nvarchar(10)"
    std::u16string statement;
};

class Session : public ResultSink {
public:
    // A client that has not finished its login after loginSeconds (between two reads) is let go.
    // With a refusal, the login is answered with it as an error, whoever logs in.
    Session(int fd, Store& store, const Credentials& credentials, long loginSeconds = 30,
            std::string refusal = {});
    ~Session() override;
    // Serves the connection until the client leaves; throws nothing.
    void run();

    void columns(const std::vector<tds::ColumnInfo>& columns) override;
    bool row(const std::vector<tds::Value>& values) override;
    void done(bool hasCount, std::uint64_t count) override;
    void error(const SqlError& e) override;
    void info(int number, const std::string& text) override;
    void envChange(const tds::EnvChange& change) override;
    bool cancelled() override;

private:
    void flushPendingDone();
    void queueDone(std::uint16_t status, std::uint64_t count);

    bool login();
    bool loginFailed(const std::vector<SqlError>& errors); // false, to return
    void batch(const tds::Message& m);
    void rpc(const tds::Message& m);
    void call(const tds::RpcRequest& request);
    void bulkLoad(const tds::Message& m);
    void prepare(const tds::RpcRequest& request, bool execute);
    // Runs the statement with the values as its variables, then sends back the output ones;
    // throws SqlError for declarations it cannot read, before it runs.
    void runWithParameters(std::u16string_view statement, std::u16string_view declarations,
                           std::vector<tds::RpcParam> values, std::size_t firstOrdinal);
    void transaction(const tds::Message& m);
    void finishRequest(bool completed);
    void acknowledgeAttention();

    int fd_;
    Store& store_;
    const Credentials& credentials_;
    long loginSeconds_;
    std::string refusal_;
    tds::MessageReader reader_;
    std::unique_ptr<Engine> engine_;
    tds::PacketWriter replies_;
    tds::Writer& out_ = replies_.body(); // the reply being written
    std::optional<tds::Done> pending_;   // the last DONE, held to learn whether more follow
    bool inProc_ = false;
    bool moreCalls_ = false; // more calls follow in the same message (a parameter array)
    bool attention_ = false;
    bool packetSent_ = false; // since the last look for a cancel
    std::vector<tds::ColumnInfo> columns_;
    std::vector<tds::TypeInfo> sourceTypes_; // the result's own, where columns_ says what is sent
    std::uint32_t tdsVersion_ = tds::kTds74; // the login's
    // An injected fault: rows this result may still send before the connection drops.
    std::optional<long> rowsLeft_;
    bool rowRuleTaken_ = false;
    std::string loggedInTo_; // the database this connection counts under
    // By handle: 1, 2, ... as the server numbers them for a connection.
    std::map<std::int32_t, PreparedText> prepared_;
    std::int32_t lastHandle_ = 0;
    std::vector<tds::ReturnValue> returnValues_; // go out after the procedure's return status
};

} // namespace sandbox
