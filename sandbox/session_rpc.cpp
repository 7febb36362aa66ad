// A session's remote procedure calls: sp_executesql, the prepared statements, sp_tables.
#include "session.h"

#include "rpc_parameters.h"
#include "sql/text.h"

namespace sandbox {
namespace {

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

SqlError unreadableParameter(const tds::RpcRequest& r) {
    if (r.badLength) {
        static const char* const kHex = "0123456789ABCDEF";
        return SqlError{8016, 16, 2,
                        "The incoming tabular data stream (TDS) remote procedure call (RPC) "
                        "protocol stream is incorrect. Parameter " +
                            std::to_string(r.badLength) + " (\"" + tds::utf8(r.badName) +
                            "\"): Data type 0x" + kHex[r.badType >> 4] + kHex[r.badType & 15] +
                            " has an invalid data length or metadata length."};
    }
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

// A message may hold several calls (a client's array of parameters): each is answered in turn,
// in one reply.
void Session::rpc(const tds::Message& m) {
    const std::vector<tds::RpcRequest> requests = tds::RpcRequest::decodeAll(m.payload);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        moreCalls_ = i + 1 < requests.size();
        call(requests[i]);
        if (!moreCalls_) break;
    }
    moreCalls_ = false;
}

void Session::call(const tds::RpcRequest& request) {
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
        error(unreadableParameter(request));
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
        error(unreadableParameter(request));
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
        error(unreadableParameter(request));
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

} // namespace sandbox
