#include "translate.h"

#include "operands.h"

#include "collation.h"
#include "text.h"
#include "types.h"

#include <algorithm>
#include <map>

namespace sandbox {
namespace {

// The version the login acknowledgement gives (15.0.2000), in the words clients parse.
constexpr const char* kProductVersion = "15.0.2000.5";
constexpr const char* kVersionText =
    "Microsoft SQL Server 2019 (RTM) - 15.0.2000.5 (X64) \n\tRowlark sandbox: SQL Server's "
    "protocol with SQLite underneath";

// Plain renames of built-in functions.
const std::map<std::string, std::string> kFunctions = {
    {"isnull", "ifnull"},
    {"len", "rowlark_len"},
    {"substring", "substr"},
    {"charindex", "rowlark_charindex"},
    {"count_big", "count"},
    {"object_id", "rowlark_object_id"},
    {"ceiling", "ceil"},
    {"nchar", "char"},
    {"concat", "rowlark_concat"},
    {"replicate", "rowlark_replicate"},
    {"year", "rowlark_year"},
    {"month", "rowlark_month"},
    {"day", "rowlark_day"},
    {"avg", "rowlark_avg"},
    {"upper", "rowlark_upper"},
    {"lower", "rowlark_lower"},
    {"replace", "rowlark_replace"},
};

// A date part's full name, from any of its T-SQL spellings (yy, yyyy, mm, dd, hh, mi ...).
std::string datePartName(const std::string& word, const std::string& function) {
    static const std::map<std::string, std::string> kParts = {
        {"year", "year"},       {"yy", "year"},
        {"yyyy", "year"},       {"quarter", "quarter"},
        {"qq", "quarter"},      {"q", "quarter"},
        {"month", "month"},     {"mm", "month"},
        {"m", "month"},         {"dayofyear", "dayofyear"},
        {"dy", "dayofyear"},    {"y", "dayofyear"},
        {"day", "day"},         {"dd", "day"},
        {"d", "day"},           {"week", "week"},
        {"wk", "week"},         {"ww", "week"},
        {"weekday", "weekday"}, {"dw", "weekday"},
        {"w", "weekday"},       {"hour", "hour"},
        {"hh", "hour"},         {"minute", "minute"},
        {"mi", "minute"},       {"n", "minute"},
        {"second", "second"},   {"ss", "second"},
        {"s", "second"},        {"millisecond", "millisecond"},
        {"ms", "millisecond"},  {"microsecond", "microsecond"},
        {"mcs", "microsecond"}, {"nanosecond", "nanosecond"},
        {"ns", "nanosecond"}};
    auto it = kParts.find(word);
    if (it == kParts.end())
        throw SqlError{155, 15, 1, "'" + word + "' is not a recognized " + function + " option.",
                       true};
    return it->second;
}

// Whether the store would read the numeric literal as a double that loses some of its digits:
// more than 15 significant digits with a decimal point, or a whole number past 64 bits.
bool roundsAsDouble(const std::string& literal) {
    if (literal.find_first_of("eE") != std::string::npos) return false;
    if (literal.find('.') == std::string::npos) return !parseWholeNumber(literal);
    const std::size_t first = literal.find_first_not_of("0.");
    if (first == std::string::npos) return false;
    const auto significant = std::count_if(literal.begin() + static_cast<std::ptrdiff_t>(first),
                                           literal.end(), [](char c) { return c != '.'; });
    return significant > 15;
}

// Functions whose result is character data: a + beside one of them joins strings.
bool returnsText(const std::string& lower) {
    static const char* const kNames[] = {
        "nchar",     "char",    "substring", "upper",  "lower", "ltrim",   "rtrim",
        "trim",      "replace", "replicate", "concat", "str",   "reverse", "space",
        "quotename", "stuff",   "format",    "newid",  "left",  "right",   "db_name"};
    for (const char* n : kNames)
        if (lower == n) return true;
    return false;
}

// Whether the operand starting at p is character data as far as its first tokens tell: a string
// literal, a call of a function that returns text, or a CAST or CONVERT to a character type.
bool startsText(TokenIt p, TokenIt end) {
    if (p == end) return false;
    if (p->kind == Token::String) return true;
    if (p->kind != Token::Word || p + 1 == end || !(p + 1)->isSymbol("(")) return false;
    const std::string lower = toLower(p->text);
    if (returnsText(lower)) return true;
    TokenIt type = end;
    if (lower == "convert" || lower == "try_convert") {
        type = p + 2;
    } else if (lower == "cast" || lower == "try_cast") {
        int depth = 0;
        for (TokenIt q = p + 2; q != end; ++q) {
            if (q->isSymbol("(")) ++depth;
            if (q->isSymbol(")") && depth-- == 0) break;
            if (depth == 0 && q->is("as")) {
                type = q + 1;
                break;
            }
        }
    }
    if (type == end) return false;
    try {
        return readType(type, end).isText();
    } catch (const SqlError&) {
        return false;
    }
}

class Translator {
public:
    Translator(TokenIt b, TokenIt e, const std::string& db, const ColumnKinds& columns)
        : begin_(b), p_(b), end_(e), db_(db), columns_(columns) {}

    std::string run() {
        while (p_ != end_)
            step();
        flushLimit(0);
        return out_;
    }

private:
    void emit(const std::string& s) {
        if (!out_.empty()) out_.push_back(' ');
        out_ += s;
    }

    void flushLimit(int depth) {
        auto it = limits_.find(depth);
        if (it == limits_.end()) return;
        emit("LIMIT " + it->second);
        limits_.erase(it);
    }

    // The text of a parenthesised argument list's part up to the next top-level comma or ')'.
    std::string argument() {
        TokenIt start = p_;
        int depth = 0;
        while (p_ != end_) {
            if (p_->isSymbol("("))
                ++depth;
            else if (p_->isSymbol(")")) {
                if (depth == 0) break;
                --depth;
            } else if (p_->isSymbol(",") && depth == 0)
                break;
            ++p_;
        }
        return Translator(start, p_, db_, columns_).run();
    }

    void expect(std::string_view sym) {
        if (p_ == end_ || !p_->isSymbol(sym))
            throw syntaxNear(p_ == end_ ? "end of statement" : p_->text);
        ++p_;
    }

    void name() {
        if (objectContext_) {
            // After FROM, JOIN, INTO or UPDATE a dotted name is an object: only dbo is a schema
            // here.
            TokenIt probe = p_;
            std::vector<std::string> parts;
            while (probe != end_ && probe->isName()) {
                parts.push_back(probe->text);
                if (probe + 1 == end_ || !(probe + 1)->isSymbol(".") || probe + 2 == end_ ||
                    !(probe + 2)->isName())
                    break;
                probe += 2;
            }
            if (parts.size() >= 2 && !iequals(parts[parts.size() - 2], "information_schema") &&
                !iequals(parts[0], "sys")) {
                std::string object = readObjectName(p_, end_, db_);
                emit(quoteIdent(object));
                return;
            }
        }
        // Multi-part names: drop database and dbo qualifiers, map the catalogue views.
        std::vector<std::string> parts{p_->text};
        std::vector<bool> quoted{p_->kind == Token::QuotedName};
        ++p_;
        while (p_ != end_ && p_->isSymbol(".")) {
            TokenIt next = p_ + 1;
            if (next != end_ && next->isSymbol(".")) { // db..t
                parts.push_back("dbo");
                quoted.push_back(false);
                p_ = next;
                continue;
            }
            if (next == end_ || !(next->isName() || next->isSymbol("*"))) break;
            parts.push_back(next->text);
            quoted.push_back(next->kind == Token::QuotedName);
            p_ = next + 1;
        }
        if (parts.size() >= 2 && iequals(parts[parts.size() - 2], "information_schema")) {
            emit("temp." + quoteIdent("information_schema." + toLower(parts.back())));
            return;
        }
        if (parts.size() >= 2 && iequals(parts[0], "sys")) {
            const std::string view = toLower(parts[1]);
            if (view != "objects" && view != "tables" && view != "views" && view != "columns")
                throw unsupported("the system catalogue view sys." + parts[1]);
            emit("temp." + quoteIdent("sys." + view));
            return;
        }
        std::size_t skip = 0;
        if (parts.size() >= 2 && iequals(parts[0], "dbo"))
            skip = 1; // dbo.t, dbo.t.c
        else if (parts.size() >= 3 && iequals(parts[1], "dbo"))
            skip = 2; // db.dbo.t
        std::string s;
        for (std::size_t i = skip; i < parts.size(); ++i) {
            if (!s.empty()) s += ".";
            s += parts[i] == "*" && !quoted[i] ? "*" : quoteIdent(parts[i]);
        }
        emit(s);
        // A column of character data ends a text operand.
        if (!objectContext_) lastWasString_ = columns_.isText(parts.back());
    }

    void function(const std::string& lower) {
        if (lower == "convert" || lower == "try_convert") {
            ++p_;
            expect("(");
            SqlType t = readType(p_, end_);
            const bool text = t.isText();
            expect(",");
            std::string value = argument();
            if (p_ != end_ && p_->isSymbol(",")) { // style: ignored
                ++p_;
                argument();
            }
            expect(")");
            emit(castSql(value, t, lower == "try_convert"));
            lastWasString_ = text;
            return;
        }
        if (lower == "datalength") {
            // A byte a character for char and varchar (the server's code page), two for the
            // national types.
            ++p_;
            expect("(");
            const TokenIt arg = p_;
            const std::string value = argument();
            bool narrow = p_ - arg == 1 && arg->kind == Token::String && !arg->unicode;
            if (!narrow && arg != p_ && arg->isName() &&
                (arg + 1 == end_ || !(arg + 1)->isSymbol("("))) {
                TokenIt last = arg;
                while (last + 2 < p_ && (last + 1)->isSymbol("."))
                    last += 2;
                narrow = last + 1 == p_ && columns_.isNarrowText(last->text);
            }
            if (!narrow && p_ - arg >= 3 && (arg->is("cast") || arg->is("convert"))) {
                const TokenIt type = findTopLevel(arg + 2, p_, "as");
                TokenIt at = arg->is("convert") ? arg + 2 : type == p_ ? p_ : type + 1;
                if (at < p_ && at->isName()) {
                    const std::string name = toLower(at->text);
                    narrow = name == "varchar" || name == "char" || name == "text";
                }
            }
            expect(")");
            emit("rowlark_datalength(" + value + ", " + (narrow ? "1" : "2") + ")");
            return;
        }
        if (lower == "cast" || lower == "try_cast") {
            ++p_;
            expect("(");
            int depth = 0;
            TokenIt start = p_;
            while (p_ != end_ && !(depth == 0 && p_->is("as"))) {
                if (p_->isSymbol("("))
                    ++depth;
                else if (p_->isSymbol(")"))
                    --depth;
                ++p_;
            }
            std::string value = Translator(start, p_, db_, columns_).run();
            if (p_ == end_) throw syntaxNear("CAST");
            ++p_;
            SqlType t = readType(p_, end_);
            expect(")");
            emit(castSql(value, t, lower == "try_cast"));
            lastWasString_ = t.isText();
            return;
        }
        if (lower == "getdate" || lower == "sysdatetime" || lower == "getutcdate") {
            ++p_;
            expect("(");
            expect(")");
            emit("strftime('%Y-%m-%d %H:%M:%f', 'now')");
            return;
        }
        if (lower == "dateadd" || lower == "datediff" || lower == "datepart") {
            // The date part is a word, not a column: it goes to the store as text.
            ++p_;
            expect("(");
            if (p_ == end_) throw syntaxNear(lower);
            const std::string part = datePartName(toLower(p_->text), lower);
            ++p_;
            std::string args = "'" + part + "'";
            const std::size_t wanted = lower == "datepart" ? 1 : 2;
            for (std::size_t k = 0; k < wanted; ++k) {
                expect(",");
                args += ", " + argument();
            }
            expect(")");
            emit("rowlark_" + lower + "(" + args + ")");
            return;
        }
        if (lower == "scope_identity" || lower == "db_name") {
            ++p_;
            expect("(");
            if (lower == "db_name" && p_ != end_ && !p_->isSymbol(")"))
                throw unsupported("DB_NAME of another database");
            expect(")");
            emit(lower == "db_name" ? "rowlark_session('db_name')" : "rowlark_session('identity')");
            if (lower == "db_name") lastWasString_ = true;
            return;
        }
        if (lower == "serverproperty") {
            ++p_;
            expect("(");
            const std::string property = p_ != end_ ? toLower(p_->text) : "";
            if (p_ != end_) ++p_;
            expect(")");
            // The properties clients ask for to tell the server's version; others are NULL, as
            // the server answers a property it does not know.
            if (property == "productversion") return emit(quoteString(kProductVersion));
            if (property == "edition") return emit("'Developer Edition (64-bit)'");
            if (property == "productlevel") return emit("'RTM'");
            if (property == "engineedition") return emit("3");
            return emit("NULL");
        }
        if (lower == "newid") {
            ++p_;
            expect("(");
            expect(")");
            emit("lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || "
                 "substr(hex(randomblob(2)), 2) "
                 "|| '-a' || substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6)))");
            return;
        }
        auto it = kFunctions.find(lower);
        emit(it == kFunctions.end() ? p_->text : it->second);
        ++p_;
        // The call's ')' ends a text operand.
        if (returnsText(lower)) textCalls_.push_back(depth_ + 1);
    }

    // Whether OFFSET at p_ starts ORDER BY's paging clause, not a column named offset: a few
    // tokens on, before a comma or a parenthesis closes, stands ROW or ROWS.
    bool startsOffsetClause() const {
        if (p_ == begin_ || (p_ - 1)->isSymbol(",") || (p_ - 1)->is("select")) return false;
        int depth = 0;
        for (TokenIt q = p_ + 1; q != end_ && q - p_ < 12; ++q) {
            if (q->isSymbol("(")) ++depth;
            if (q->isSymbol(")") && --depth < 0) return false;
            if (depth == 0 && q->isSymbol(",")) return false;
            if (depth == 0 && (q->is("row") || q->is("rows"))) return true;
        }
        return false;
    }

    // OFFSET n ROW[S] [FETCH FIRST|NEXT m ROW[S] ONLY] as the store's LIMIT m OFFSET n.
    void offsetFetch() {
        if (limits_.count(depth_))
            throw SqlError{10741, 15, 2,
                           "A TOP can not be used in the same query or sub-query as a OFFSET.",
                           true};
        auto upToRows = [&](const char* clause) {
            TokenIt start = ++p_;
            while (p_ != end_ && !(p_->is("row") || p_->is("rows")))
                ++p_;
            if (p_ == end_ || p_ == start) throw syntaxNear(clause);
            std::string n = Translator(start, p_, db_, columns_).run();
            ++p_;
            return n;
        };
        const std::string offset = upToRows("OFFSET");
        std::string fetch = "-1";
        if (p_ != end_ && p_->is("fetch")) {
            if (p_ + 1 == end_ || !((p_ + 1)->is("first") || (p_ + 1)->is("next")))
                throw syntaxNear("FETCH");
            ++p_;
            fetch = upToRows("FETCH");
            if (p_ == end_ || !p_->is("only")) throw syntaxNear(p_ == end_ ? "ROWS" : p_->text);
            ++p_;
        }
        emit("LIMIT " + fetch + " OFFSET " + offset);
    }

    // Whether the operand at p is a column of character data: its name's last part names one.
    bool startsTextColumn(TokenIt p) const {
        if (p == end_) return false;
        if (p->kind != Token::QuotedName &&
            (p->kind != Token::Word || (p + 1 != end_ && (p + 1)->isSymbol("("))))
            return false;
        while (p + 2 < end_ && (p + 1)->isSymbol(".") && (p + 2)->isName())
            p += 2;
        return columns_.isText(p->text);
    }

    // Whether an operand starts at p_: nothing before it, or an operator, '(' or ',' or a keyword.
    bool startsOperand() const {
        if (p_ == begin_) return true;
        const Token& before = *(p_ - 1);
        if (before.kind == Token::Symbol) return before.text != ")";
        return before.kind == Token::Word && isKeyword(toLower(before.text));
    }

    void step() {
        const Token& t = *p_;
        const bool afterString = lastWasString_;
        lastWasString_ = false;
        objectContext_ = afterObjectWord_;
        afterObjectWord_ = t.is("from") || t.is("join") || t.is("into") || t.is("update");
        switch (t.kind) {
        case Token::String: {
            if (const SqlType* type = comparedInteger(begin_, p_, end_, columns_)) {
                // Against a whole-number column the literal is a number, as the server converts
                // it, or the statement's error.
                const std::string_view digits = trim(t.text);
                const auto n = parseWholeNumber(
                    !digits.empty() && digits.front() == '+' ? digits.substr(1) : digits);
                if (!n)
                    throw SqlError{245, 16, 1,
                                   std::string("Conversion failed when converting the ") +
                                       (t.unicode ? "nvarchar" : "varchar") + " value '" + t.text +
                                       "' to data type " + type->tsqlName() + "."};
                emit(std::to_string(*n));
                ++p_;
                return;
            }
            std::string literal = quoteString(t.text);
            if (columns_.literalsIgnoreCase && !(p_ + 1 != end_ && (p_ + 1)->is("collate")) &&
                !besideCaseSensitiveColumn(begin_, p_, end_, columns_))
                literal += std::string(" COLLATE ") + kCollationCi;
            emit(literal);
            ++p_;
            lastWasString_ = true;
            return;
        }
        case Token::Binary:
            emit("X'" + std::string(t.text.size() % 2 ? "0" : "") + t.text + "'");
            ++p_;
            return;
        case Token::Number:
            // A decimal the store's double would round goes as its text, which a decimal column
            // keeps exactly and arithmetic still reads as a number.
            emit(roundsAsDouble(t.text) ? quoteString(t.text) : t.text);
            ++p_;
            return;
        case Token::Variable: {
            std::string v = toLower(t.text);
            ++p_;
            if (v == "@@spid") return emit("51");
            if (v == "@@version") return emit(quoteString(kVersionText));
            for (const char* session : {"@@rowcount", "@@error", "@@trancount", "@@identity"})
                if (v == session) return emit("rowlark_session('" + v.substr(2) + "')");
            if (v.rfind("@@", 0) == 0) throw unsupported("the variable " + t.text);
            const Variable* var = columns_.variable(v);
            if (!var) throw undeclaredVariable(t.text);
            emit(variableSql(*var, columns_));
            lastWasString_ = var->type.isText();
            return;
        }
        case Token::Symbol:
            if (t.text == "(") ++depth_;
            if (t.text == ")") {
                flushLimit(depth_);
                if (!textCalls_.empty() && textCalls_.back() == depth_) {
                    textCalls_.pop_back();
                    lastWasString_ = true;
                }
                --depth_;
            }
            if (t.text == "-" && p_ + 1 != end_ && (p_ + 1)->kind == Token::Number &&
                roundsAsDouble((p_ + 1)->text) && startsOperand()) {
                // A sign in front of a literal that goes as text goes into the text.
                emit(quoteString("-" + (p_ + 1)->text));
                p_ += 2;
                return;
            }
            if ((t.text == "/" || t.text == "%") && p_ + 1 != end_) {
                // A zero divisor is the server's error 8134, where the store gives NULL.
                const TokenIt start = p_ + 1, stop = operandEnd(start, end_);
                emit(t.text);
                emit("rowlark_divisor(" + Translator(start, stop, db_, columns_).run() + ")");
                p_ = stop;
                return;
            }
            if (t.text == "+") {
                // T-SQL joins strings with +: do so where character data stands on either side
                // (as far as the operands' first or last tokens tell).
                const bool text =
                    afterString || startsText(p_ + 1, end_) || startsTextColumn(p_ + 1);
                emit(text ? "||" : "+");
                ++p_;
                return;
            }
            emit(t.text);
            ++p_;
            return;
        case Token::QuotedName:
            name();
            return;
        case Token::Word:
            break;
        }
        std::string lower = toLower(t.text);
        if (lower == "top" && prevSelect_) {
            ++p_;
            std::string n;
            if (p_ != end_ && p_->isSymbol("(")) {
                ++p_;
                n = argument();
                expect(")");
            } else if (p_ != end_ && p_->kind == Token::Number) {
                n = (p_++)->text;
            } else {
                throw syntaxNear("TOP");
            }
            if (p_ != end_ && (p_->is("percent") || p_->is("with")))
                throw unsupported("TOP ... " + p_->text);
            limits_[depth_] = n;
            prevSelect_ = false;
            return;
        }
        if (lower == "offset" && startsOffsetClause()) return offsetFetch();
        prevSelect_ = lower == "select" || ((lower == "distinct" || lower == "all") && prevSelect_);
        if ((lower == "union" || lower == "except" || lower == "intersect") &&
            limits_.count(depth_))
            throw unsupported("TOP in a branch of " + t.text);
        if (lower == "with" && p_ + 1 != end_ && (p_ + 1)->isSymbol("(") && !out_.empty()) {
            // table hints such as WITH (NOLOCK) mean nothing here
            ++p_;
            ++p_;
            int depth = 1;
            while (p_ != end_ && depth) {
                if (p_->isSymbol("(")) ++depth;
                if (p_->isSymbol(")")) --depth;
                ++p_;
            }
            return;
        }
        if (lower == "collate") {
            ++p_;
            if (p_ == end_) throw syntaxNear("COLLATE");
            std::string c = toLower((p_++)->text);
            emit(std::string("COLLATE ") + collationFor(c));
            return;
        }
        if ((lower == "left" || lower == "right") && p_ + 1 != end_ && (p_ + 1)->isSymbol("(")) {
            // The functions, not the joins: a join's LEFT is followed by JOIN or OUTER.
            emit(lower == "left" ? "rowlark_left" : "rowlark_right");
            ++p_;
            textCalls_.push_back(depth_ + 1);
            return;
        }
        if (p_ + 1 != end_ && (p_ + 1)->isSymbol("(") && !isKeyword(lower)) {
            function(lower);
            return;
        }
        if (isKeyword(lower)) {
            emit(t.text);
            ++p_;
            // Some words (first, last, key ...) are also columns' names.
            lastWasString_ = columns_.isText(t.text);
            return;
        }
        name();
    }

    TokenIt begin_, p_, end_;
    const std::string& db_;
    const ColumnKinds& columns_;
    std::string out_;
    std::map<int, std::string> limits_;
    int depth_ = 0;
    bool prevSelect_ = false;
    bool lastWasString_ = false; // the operand just ended is character data
    std::vector<int> textCalls_; // depths of the open calls of functions that return text
    bool objectContext_ = false;
    bool afterObjectWord_ = false;
};

} // namespace

std::string readObjectName(TokenIt& p, TokenIt end, const std::string& database) {
    std::vector<std::string> parts;
    while (p != end) {
        if (p->isSymbol(".")) { // db..t
            parts.push_back("dbo");
            ++p;
            continue;
        }
        if (!p->isName()) break;
        parts.push_back(p->text);
        ++p;
        if (p == end || !p->isSymbol(".")) break;
        ++p;
    }
    if (parts.empty()) throw syntaxNear(p == end ? "end of statement" : p->text);
    if (parts.size() > 3) throw unsupported("a four-part name");
    // tempdb..#t and tempdb.dbo.#t: the session's own temporary table.
    if (isTempName(parts.back()) && (parts.size() == 1 || iequals(parts[0], "tempdb")))
        return parts.back();
    if (parts.size() >= 2 && !iequals(parts[parts.size() - 2], "dbo") &&
        !parts[parts.size() - 2].empty())
        throw unsupported("the schema '" + parts[parts.size() - 2] + "' (only dbo)");
    if (parts.size() == 3 && !iequals(parts[0], database))
        throw unsupported("a name in another database ('" + parts[0] + "')");
    return parts.back();
}

std::int64_t readInteger(TokenIt& p, TokenIt end) {
    bool neg = false;
    if (p != end && (p->isSymbol("-") || p->isSymbol("+"))) neg = (p++)->text == "-";
    if (p == end || p->kind != Token::Number)
        throw syntaxNear(p == end ? "end of statement" : p->text);
    auto v = parseWholeNumber(p->text);
    if (!v)
        throw SqlError{8115, 16, 2,
                       "Arithmetic overflow error converting expression to data type bigint."};
    ++p;
    return neg ? -*v : *v;
}

bool ColumnKinds::isText(std::string_view column) const {
    return !text.empty() && text.count(toLower(column)) > 0;
}

bool ColumnKinds::isNarrowText(std::string_view column) const {
    return !narrowText.empty() && narrowText.count(toLower(column)) > 0;
}

const Variable* ColumnKinds::variable(std::string_view name) const {
    if (!variables) return nullptr;
    const auto it = variables->find(toLower(name));
    return it == variables->end() ? nullptr : &it->second;
}

bool ColumnKinds::isCaseSensitive(std::string_view column) const {
    return !caseSensitive.empty() && caseSensitive.count(toLower(column)) > 0;
}

const SqlType* ColumnKinds::integerType(std::string_view column) const {
    if (integer.empty()) return nullptr;
    const auto it = integer.find(toLower(column));
    return it == integer.end() ? nullptr : &it->second;
}

std::string translate(TokenIt b, TokenIt e, const std::string& database,
                      const ColumnKinds& columns) {
    return Translator(b, e, database, columns).run();
}

SqlType readType(TokenIt& p, TokenIt end) {
    if (p == end || !p->isName()) throw syntaxNear(p == end ? "end of statement" : p->text);
    std::string name = p->text;
    ++p;
    if (iequals(name, "double") && p != end && p->is("precision")) ++p;
    std::vector<std::string> args;
    if (p != end && p->isSymbol("(")) {
        ++p;
        while (p != end && !p->isSymbol(")")) {
            if (!p->isSymbol(",")) args.push_back(p->text);
            ++p;
        }
        if (p == end) throw syntaxNear(name);
        ++p;
    }
    auto t = SqlType::fromTsql(name, args);
    if (!t) {
        if (SqlType::fromTsql(name, {}))
            throw SqlError{131, 15, 2, "The size given to the type '" + name + "' is not valid.",
                           true};
        throw SqlError{2715, 16, 6,
                       "Column, parameter, or variable #1: Cannot find data type " + name + ".",
                       true};
    }
    return *t;
}

TokenIt findTopLevel(TokenIt b, TokenIt e, std::string_view keyword) {
    int depth = 0;
    for (TokenIt p = b; p != e; ++p) {
        if (p->isSymbol("("))
            ++depth;
        else if (p->isSymbol(")"))
            --depth;
        else if (depth == 0 && p->is(keyword))
            return p;
    }
    return e;
}

} // namespace sandbox
