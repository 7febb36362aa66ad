#include "lexer.h"

#include "ast.h"
#include "text.h"

#include <algorithm>
#include <cctype>

namespace sandbox {
namespace {

bool isWordStart(unsigned char c) {
    return std::isalpha(c) || c == '_' || c == '#' || c >= 0x80;
}
bool isWordChar(unsigned char c) {
    return isWordStart(c) || std::isdigit(c) || c == '$' || c == '@';
}

const char* const kStatementWords[] = {
    "select",  "insert", "update",   "delete", "create", "drop",     "alter",   "if",
    "begin",   "commit", "rollback", "set",    "use",    "truncate", "declare", "exec",
    "execute", "print",  "save",     "while",  "return", "merge",    "grant"};

bool startsStatement(const Token& t) {
    return std::ranges::any_of(kStatementWords, [&](const char* w) { return t.is(w); });
}

class Splitter {
public:
    explicit Splitter(const Tokens& t) : t_(t) {}

    std::vector<Statement> all() {
        std::vector<Statement> out;
        while (skipSemicolons() < t_.size())
            out.push_back(statement(false));
        return out;
    }

private:
    std::size_t skipSemicolons() {
        while (pos_ < t_.size() && t_[pos_].isSymbol(";"))
            ++pos_;
        return pos_;
    }

    [[noreturn]] void syntax(std::size_t at) {
        const Token& tok = at < t_.size() ? t_[at] : t_.back();
        throw LexError{102, "Incorrect syntax near '" + tok.text + "'.", tok.line};
    }

    Statement statement(bool inBlock) {
        skipSemicolons();
        if (pos_ >= t_.size()) syntax(t_.size() - 1);
        const Token& first = t_[pos_];
        if (first.is("if")) return ifStatement(inBlock);
        if (first.is("begin") && pos_ + 1 < t_.size() && !t_[pos_ + 1].is("tran") &&
            !t_[pos_ + 1].is("transaction"))
            return block();
        return simple(inBlock);
    }

    Statement ifStatement(bool inBlock) {
        Statement s;
        s.kind = Statement::If;
        ++pos_;
        int depth = 0;
        while (pos_ < t_.size()) {
            const Token& t = t_[pos_];
            if (t.isSymbol("("))
                ++depth;
            else if (t.isSymbol(")"))
                --depth;
            else if (depth == 0 && startsStatement(t))
                break;
            s.tokens.push_back(t);
            ++pos_;
        }
        if (s.tokens.empty() || pos_ >= t_.size()) syntax(pos_ - 1);
        s.children.push_back(statement(inBlock));
        std::size_t save = pos_;
        skipSemicolons();
        if (pos_ < t_.size() && t_[pos_].is("else")) {
            ++pos_;
            s.children.push_back(statement(inBlock));
        } else {
            pos_ = save;
        }
        return s;
    }

    Statement block() {
        Statement s;
        s.kind = Statement::Block;
        ++pos_;
        for (;;) {
            skipSemicolons();
            if (pos_ >= t_.size()) syntax(t_.size() - 1);
            if (t_[pos_].is("end")) {
                ++pos_;
                return s;
            }
            s.children.push_back(statement(true));
        }
    }

    bool continues(const Tokens& cur, const Token& t) const {
        const Token& head = cur.front();
        const Token& prev = cur.back();
        if (head.is("sandbox")) return true; // the sandbox's own statements hold words such as DROP
        if (t.is("select"))
            return head.is("insert") || head.is("with") || prev.is("union") || prev.is("all") ||
                   prev.is("except") || prev.is("intersect") || prev.is("as");
        if (t.is("set")) return head.is("update");
        if (t.is("if")) return prev.is("table") || prev.is("view") || prev.is("index");
        if (t.is("delete") || t.is("update")) return prev.is("on") || head.is("with");
        if (t.is("insert")) return head.is("with");
        return false;
    }

    // A query or a change ends where its grammar ends, whatever follows it: the parser finds
    // the end (INSERT INTO t SELECT 1 SELECT 2 is two statements). Text it cannot read falls
    // to the token rules, and its statement's error comes when it runs.
    bool parsedEnd(Statement& s) {
        const Token& first = t_[pos_];
        const bool query = first.is("select") || first.is("with");
        if (!query && !first.is("insert") && !first.is("update") && !first.is("delete"))
            return false;
        const TokenIt b = t_.begin() + static_cast<std::ptrdiff_t>(pos_);
        try {
            Parser p(b, t_.end());
            if (query)
                p.query();
            else if (first.is("insert"))
                p.insert();
            else
                p.update();
            const TokenIt e = p.position();
            if (e != t_.end() && !e->isSymbol(";") && !startsStatement(*e) && !e->is("else") &&
                !e->is("end"))
                return false;
            s.tokens.assign(b, e);
            pos_ = static_cast<std::size_t>(e - t_.begin());
            return true;
        } catch (...) {
            return false;
        }
    }

    Statement simple(bool inBlock) {
        Statement s;
        if (parsedEnd(s)) return s;
        int depth = 0, cases = 0; // CASE ... END nests; its ELSE and END belong to it
        while (pos_ < t_.size()) {
            const Token& t = t_[pos_];
            if (t.is("case"))
                ++cases;
            else if (t.is("end") && cases > 0)
                --cases;
            else if (depth == 0 && cases == 0) {
                if (t.isSymbol(";") || t.is("else")) break;
                if (!s.tokens.empty() && startsStatement(t) && !continues(s.tokens, t)) break;
                if (t.is("end") && inBlock) break;
            }
            if (t.isSymbol("("))
                ++depth;
            else if (t.isSymbol(")") && --depth < 0)
                syntax(pos_);
            s.tokens.push_back(t);
            ++pos_;
        }
        // An ELSE without its IF (or an END without its BEGIN) starts nothing: without this the
        // splitter would stand on it for ever.
        if (s.tokens.empty()) syntax(pos_);
        return s;
    }

    const Tokens& t_;
    std::size_t pos_ = 0;
};

// The text of a quoted string or name that starts at i, up to its closing quote (doubled inside
// it); i moves past it. A string counts its lines; a name's are not counted.
std::string quoted(std::string_view s, std::size_t& i, char close, std::size_t& line, bool lines) {
    const std::size_t start = i;
    std::string text;
    for (;;) {
        if (i >= s.size())
            throw LexError{105,
                           "Unclosed quotation mark after the character string '" +
                               std::string(s.substr(start)) + "'.",
                           line};
        if (s[i] == close) {
            if (i + 1 < s.size() && s[i + 1] == close) {
                text.push_back(close), i += 2;
                continue;
            }
            return ++i, text;
        }
        if (lines && s[i] == '\n') ++line;
        text.push_back(s[i++]);
    }
}

} // namespace

bool Token::is(std::string_view keyword) const {
    return kind == Word && iequals(text, keyword);
}

// The lexer's one switch over what starts a token, longer than the sandbox's other functions:
// each branch reads one kind of token whole, and splitting them would scatter one grammar.
Tokens tokenize(std::string_view s) {
    Tokens out;
    std::size_t i = 0, line = 1;
    auto push = [&](Token::Kind k, std::string text, bool unicode = false) {
        out.push_back(Token{k, std::move(text), unicode, line});
    };
    // The end of the run from j of the characters that pass.
    const auto span = [&](std::size_t j, auto pass) {
        while (j < s.size() && pass(static_cast<unsigned char>(s[j])))
            ++j;
        return j;
    };
    while (i < s.size()) {
        unsigned char c = s[i];
        if (std::isspace(c)) {
            line += c == '\n';
            ++i;
            continue;
        }
        if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
            i = std::min(s.find('\n', i), s.size()); // to the line's end
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            int nest = 0;
            std::size_t start = line;
            do {
                if (i + 1 >= s.size()) throw LexError{113, "Missing end comment mark '*/'.", start};
                if (s[i] == '/' && s[i + 1] == '*')
                    ++nest, i += 2;
                else if (s[i] == '*' && s[i + 1] == '/')
                    --nest, i += 2;
                else
                    line += s[i++] == '\n';
            } while (nest > 0);
            continue;
        }
        const bool unicode = (c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'';
        if (c == '\'' || unicode || c == '[' || c == '"') {
            const bool name = c == '[' || c == '"';
            i += unicode ? 2 : 1;
            const char close = c == '[' ? ']' : name ? '"' : '\'';
            push(name ? Token::QuotedName : Token::String, quoted(s, i, close, line, !name),
                 unicode);
            continue;
        }
        if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
            const std::size_t j = span(i + 2, [](unsigned char x) { return std::isxdigit(x); });
            push(Token::Binary, std::string(s.substr(i + 2, j - i - 2)));
            i = j;
            continue;
        }
        if (std::isdigit(c) ||
            (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            std::size_t j = span(i, [](unsigned char x) { return std::isdigit(x) || x == '.'; });
            if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
                std::size_t k = j + 1;
                if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
                if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k])))
                    j = span(k, [](unsigned char x) { return std::isdigit(x); });
            }
            push(Token::Number, std::string(s.substr(i, j - i)));
            i = j;
            continue;
        }
        if (c == '@' || isWordStart(c)) {
            const std::size_t j = span(i + 1, isWordChar);
            push(c == '@' ? Token::Variable : Token::Word, std::string(s.substr(i, j - i)));
            i = j;
            continue;
        }
        static constexpr std::string_view kTwo[] = {"<>", "<=", ">=", "!=", "!<", "!>",
                                                    "||", "+=", "-=", "*=", "/="};
        const std::string_view two = s.substr(i, 2);
        const bool pair = std::ranges::find(kTwo, two) != std::end(kTwo);
        push(Token::Symbol, std::string(pair ? two : two.substr(0, 1)));
        i += pair ? 2 : 1;
    }
    return out;
}

std::vector<Statement> splitStatements(const Tokens& tokens) {
    return Splitter(tokens).all();
}

} // namespace sandbox
