// A session's remote procedure calls: sp_executesql, the prepared statements, sp_tables.
#include "session.h"

#include "rpc_parameters.h"
#include "sql/text.h"

namespace sandbox {
namespace {

// Whether the call names the procedure, by name (proc: lower case, without its schema) or by id.
bool calls(const tds::RpcRequest& request, const std::string& proc, const char* name, int id) {
    return proc == name || (request.procName.empty() && request.procId == id);
}

SqlError unreadableParameter(const tds::RpcRequest& r) {
    if (r.badLength)
        return SqlError{8016, 16, 2,
                        "The incoming tabular data stream (TDS) remote procedure call (RPC) "
                        "protocol stream is incorrect. Parameter " +
                            std::to_string(r.badLength) + " (\"" + tds::utf8(r.badName) +
                            "\"): Data type 0x" + hexText({r.badType}) +
                            " has an invalid data length or metadata length."};
    return SqlError{8016, 16, 1,
                    "The sandbox cannot read a parameter of this type; it reads the integer, "
                    "bit, float, decimal, money, character, binary, date and time and "
                    "uniqueidentifier types."};
}

// The handle a call names first (0 when it names none).
std::int32_t handleOf(const tds::RpcRequest& r) {
    const auto* handle = r.params.empty() ? nullptr : std::get_if<std::int64_t>(&r.params[0].value);
    return handle ? static_cast<std::int32_t>(*handle) : 0;
}

SqlError noSuchHandle(const tds::RpcRequest& r) {
    return SqlError{8179, 16, 4,
                    "Could not find prepared statement with handle " + std::to_string(handleOf(r)) +
                        "."};
}

// The call's parameter at i as text; nullptr when it is missing or not text.
const std::u16string* textAt(const tds::RpcRequest& r, std::size_t i) {
    return i < r.params.size() ? std::get_if<std::u16string>(&r.params[i].value) : nullptr;
}

std::u16string_view textOrEmpty(const tds::RpcRequest& r, std::size_t i) {
    const auto* s = textAt(r, i);
    return s ? std::u16string_view(*s) : std::u16string_view();
}

std::vector<tds::RpcParam> paramsFrom(const tds::RpcRequest& r, std::size_t i) {
    return {r.params.begin() + static_cast<std::ptrdiff_t>(std::min(i, r.params.size())),
            r.params.end()};
}

// The call's statement, its text parameter at i; error 214 names the parameter when it is missing.
const std::u16string& statementAt(const tds::RpcRequest& r, std::size_t i,
                                  const std::string& name) {
    if (const auto* s = textAt(r, i)) return *s;
    throw SqlError{214, 16, 2,
                   "Procedure expects parameter '" + name + "' of type 'ntext/nchar/nvarchar'."};
}

} // namespace

// A message may hold several calls (a client's array of parameters): each is answered in turn,
// in one reply.
void Session::rpc(const tds::Message& m) {
    const std::vector<tds::RpcRequest> requests = tds::RpcRequest::decodeAll(m.payload);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        moreCalls_ = i + 1 < requests.size();
        call(requests[i]);
        if (!moreCalls_) break; // a cancelled call ends the message's calls
    }
}

// Each procedure answers its call, finishing the request once its statement has run; a refusal
// is thrown, and answered here.
void Session::call(const tds::RpcRequest& request) {
    inProc_ = true;
    std::string proc = toLower(tds::utf8(request.procName));
    proc.erase(0, proc.rfind('.') + 1); // without its schema (npos + 1 is 0: no schema)
    try {
        if (!request.paramsComplete) throw unreadableParameter(request);
        if (proc == "sp_tables") {
            engine_->listTables({request.text(u"@table_name"), request.text(u"@table_owner"),
                                 request.text(u"@table_qualifier"), request.text(u"@table_type")},
                                *this);
        } else if (calls(request, proc, "sp_executesql", 10)) {
            // The statement, the parameters' declarations, then their values.
            return runWithParameters(statementAt(request, 0, "@statement"), textOrEmpty(request, 1),
                                     paramsFrom(request, 2), 2);
        } else if (calls(request, proc, "sp_prepare", 11)) {
            return prepare(request, false);
        } else if (calls(request, proc, "sp_execute", 12)) {
            // The handle, then the values.
            const auto p = prepared_.find(handleOf(request));
            if (p == prepared_.end()) throw noSuchHandle(request);
            return runWithParameters(p->second.statement, p->second.declarations,
                                     paramsFrom(request, 1), 1);
        } else if (calls(request, proc, "sp_prepexec", 13)) {
            return prepare(request, true);
        } else if (calls(request, proc, "sp_unprepare", 15)) {
            if (!prepared_.erase(handleOf(request))) throw noSuchHandle(request);
        } else {
            std::string name = request.procName.empty() ? "#" + std::to_string(request.procId)
                                                        : tds::utf8(request.procName);
            throw SqlError{2812, 16, 62,
                           "Could not find stored procedure '" + name +
                               "'. The sandbox answers only sp_executesql, sp_prepare, "
                               "sp_execute, sp_prepexec, sp_unprepare and sp_tables."};
        }
    } catch (const SqlError& e) {
        error(e);
    }
    finishRequest(!attention_);
}

// sp_prepare and sp_prepexec: the handle (an output parameter), the parameters' declarations, the
// statement, then (sp_prepexec) the values. The handle goes back as a return value.
void Session::prepare(const tds::RpcRequest& request, bool execute) {
    PreparedText p{std::u16string(textOrEmpty(request, 1)), statementAt(request, 2, "@stmt")};
    prepared_.emplace(++lastHandle_, p);
    returnValues_.push_back(tds::ReturnValue{
        0, request.params[0].name, 0x01, {tds::kIntN, 4}, std::int64_t{lastHandle_}});
    if (!execute) return finishRequest(true);
    runWithParameters(p.statement, p.declarations, paramsFrom(request, 3), 3);
}

void Session::runWithParameters(std::u16string_view statement, std::u16string_view declarations,
                                std::vector<tds::RpcParam> values, std::size_t firstOrdinal) {
    Variables variables;
    try {
        const std::vector<Declaration> declared = parseDeclarations(declarations);
        values = namedByDeclaration(declared, std::move(values));
        variables = parameterVariables(declared, values);
    } catch (const LexError& e) {
        throw SqlError{e.number, 15, 1, e.message, true};
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
            // one's; going through its text rounds it once, as the server does.
            if (auto* d = std::get_if<tds::Decimal>(&value))
                parseDecimal(decimalText(d->scaled, scaleOf(found->second.type)),
                             scaleOf(fromWire(out.type)), d->scaled);
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

} // namespace sandbox
