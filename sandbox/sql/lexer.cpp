#include "lexer.h"

#include "ast.h"

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
        if (s[i] == close && (i + 1 == s.size() || s[i + 1] != close)) return ++i, text;
        if (s[i] == close) ++i; // a doubled quote stands for one
        if (lines && s[i] == '\n') ++line;
        text.push_back(s[i++]);
    }
}

class Splitter {
public:
    explicit Splitter(const Tokens& t) : p_(t.begin()), end_(t.end()) {}

    // The statements up to the batch's end, or in a block up to its END.
    std::vector<Statement> statements(bool inBlock) {
        std::vector<Statement> out;
        while (skipSemicolons() != end_ || inBlock) {
            if (p_ == end_) syntax(p_ - 1);
            if (inBlock && p_->is("end")) {
                ++p_;
                break;
            }
            out.push_back(statement(inBlock));
        }
        return out;
    }

private:
    TokenIt skipSemicolons() {
        while (p_ != end_ && p_->isSymbol(";"))
            ++p_;
        return p_;
    }

    [[noreturn]] static void syntax(TokenIt at) {
        throw LexError{102, "Incorrect syntax near '" + at->text + "'.", at->line};
    }

    Statement statement(bool inBlock) {
        if (skipSemicolons() == end_) syntax(p_ - 1);
        if (p_->is("if")) return ifStatement(inBlock);
        if (p_->is("begin") && p_ + 1 != end_ && !p_[1].is("tran") && !p_[1].is("transaction")) {
            ++p_;
            return {Statement::Block, {}, statements(true)};
        }
        return simple(inBlock);
    }

    // The condition runs to the first word that starts a statement outside parentheses.
    Statement ifStatement(bool inBlock) {
        int depth = 0;
        const TokenIt from = ++p_;
        p_ = std::find_if(from, end_, [&](const Token& t) {
            depth += t.isSymbol("(") ? 1 : t.isSymbol(")") ? -1 : 0;
            return depth == 0 && startsStatement(t);
        });
        if (p_ == from || p_ == end_) syntax(p_ - 1);
        Statement s{Statement::If, Tokens(from, p_), {}};
        s.children.push_back(statement(inBlock));
        if (skipSemicolons() != end_ && p_->is("else")) {
            ++p_;
            s.children.push_back(statement(inBlock));
        }
        return s;
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
        const bool query = p_->is("select") || p_->is("with");
        if (!query && !p_->is("insert") && !p_->is("update") && !p_->is("delete")) return false;
        try {
            Parser p(p_, end_);
            if (query)
                p.query();
            else if (p_->is("insert"))
                p.insert();
            else
                p.update();
            const TokenIt e = p.position();
            if (e != end_ && !e->isSymbol(";") && !startsStatement(*e) && !e->is("else") &&
                !e->is("end"))
                return false;
            s.tokens.assign(p_, e);
            p_ = e;
            return true;
        } catch (...) {
            return false;
        }
    }

    Statement simple(bool inBlock) {
        Statement s;
        if (parsedEnd(s)) return s;
        int depth = 0, cases = 0; // CASE ... END nests; its ELSE and END belong to it
        for (; p_ != end_; ++p_) {
            const Token& t = *p_;
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
                syntax(p_);
            s.tokens.push_back(t);
        }
        // An ELSE without its IF (or an END without its BEGIN) starts nothing: without this the
        // splitter would stand on it for ever.
        if (s.tokens.empty()) syntax(p_);
        return s;
    }

    TokenIt p_;
    const TokenIt end_;
};

} // namespace

bool startsStatement(const Token& t) {
    static const char* const kStatementWords[] = {
        "select",  "insert", "update",   "delete", "create", "drop",     "alter",   "if",
        "begin",   "commit", "rollback", "set",    "use",    "truncate", "declare", "exec",
        "execute", "print",  "save",     "while",  "return", "merge",    "grant"};
    return std::ranges::any_of(kStatementWords, [&](const char* w) { return t.is(w); });
}

// The lexer's one switch over what starts a token, longer than the sandbox's other functions:
// each branch reads one kind of token whole, and splitting them would scatter one grammar.
Tokens tokenize(std::string_view s) {
    Tokens out;
    std::size_t i = 0, line = 1;
    // A token of the text from `from` up to j, where the lexer goes on.
    const auto push = [&](Token::Kind k, std::size_t from, std::size_t j) {
        out.push_back(Token{k, std::string(s.substr(from, j - from)), false, line});
        i = j;
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
            line += s[i++] == '\n';
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
            std::string text = quoted(s, i, close, line, !name); // line: where the string ends
            out.push_back(
                {name ? Token::QuotedName : Token::String, std::move(text), unicode, line});
            continue;
        }
        if (c == '0' && i + 1 < s.size() && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
            push(Token::Binary, i + 2,
                 span(i + 2, [](unsigned char x) { return std::isxdigit(x); }));
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
            push(Token::Number, i, j);
            continue;
        }
        if (c == '@' || isWordStart(c)) {
            push(c == '@' ? Token::Variable : Token::Word, i, span(i + 1, isWordChar));
            continue;
        }
        static constexpr std::string_view kTwo[] = {"<>", "<=", ">=", "!=", "!<", "!>",
                                                    "||", "+=", "-=", "*=", "/="};
        const bool pair = std::ranges::find(kTwo, s.substr(i, 2)) != std::end(kTwo);
        push(Token::Symbol, i, i + (pair ? 2 : 1));
    }
    return out;
}

std::vector<Statement> splitStatements(const Tokens& tokens) {
    return Splitter(tokens).statements(false);
}

} // namespace sandbox
