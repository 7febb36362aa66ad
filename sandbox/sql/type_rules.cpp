#include "type_rules.h"

#include "text.h"

#include <algorithm>

namespace sandbox {
namespace {

SqlType decimal(int p, int s) {
    return SqlType{BaseType::Numeric, 0, p, s};
}

// Past 38 digits the scale gives way, keeping at least 6 where the whole part allows.
SqlType capped(int p, int s) {
    const int whole = p - s;
    if (p > 38) s = whole < 32 ? std::min(s, 38 - whole) : std::min(s, 6);
    return decimal(std::min(p, 38), s);
}

} // namespace

ExprType literalType(const Token& t) {
    const std::string& s = t.text;
    switch (t.kind) {
    case Token::String: {
        // A literal's length is its characters (bytes of the code page, one each), at least 1.
        const auto units =
            std::count_if(s.begin(), s.end(), [](char c) { return (c & 0xC0) != 0x80; });
        const int n = std::max<int>(1, static_cast<int>(units));
        return known(t.unicode ? SqlType{BaseType::NVarChar, n > 4000 ? SqlType::kMax : n}
                               : SqlType{BaseType::VarChar, n > 8000 ? SqlType::kMax : n});
    }
    case Token::Binary: {
        const int n = std::max<int>(1, static_cast<int>((s.size() + 1) / 2));
        return known(SqlType{BaseType::VarBinary, n > 8000 ? SqlType::kMax : n});
    }
    case Token::Number: {
        if (s.find_first_of("eE") != std::string::npos)
            return known(SqlType{BaseType::Float, 0, 53});
        const std::string_view digitsOnly = std::string_view(s).substr(s.starts_with('-'));
        const auto point = digitsOnly.find('.');
        const auto v = parseWholeNumber(s);
        if (point == std::string_view::npos && v && inWholeRange(BaseType::Int, *v))
            return known(SqlType{BaseType::Int});
        std::string_view whole = digitsOnly.substr(0, point); // its digits after leading zeros
        whole.remove_prefix(std::min(whole.find_first_not_of('0'), whole.size()));
        const int scale =
            point == std::string_view::npos ? 0 : static_cast<int>(digitsOnly.size() - point - 1);
        const int p = std::max(1, static_cast<int>(whole.size()) + scale);
        return known(p > 38 ? SqlType{BaseType::Float, 0, 53} : decimal(p, scale));
    }
    default: // NULL
        return {SqlType{BaseType::Int}, true, true, {}};
    }
}

void checkImplicit(const SqlType& from, const SqlType& to) {
    const bool fromDate = from.isDateTime(), toDate = to.isDateTime();
    const BaseType date = (fromDate ? from : to).base;
    const bool oldDate = date == BaseType::DateTime || date == BaseType::SmallDateTime;
    bool clash = false;
    if (fromDate != toDate) {
        const SqlType& other = fromDate ? to : from;
        clash = !other.isText() && !(oldDate && isNumber(other));
        if (!clash && isNumber(other)) throw unsupported("date arithmetic with numbers");
    }
    if ((from.base == BaseType::UniqueIdentifier) != (to.base == BaseType::UniqueIdentifier)) {
        const SqlType& other = from.base == BaseType::UniqueIdentifier ? to : from;
        clash = clash || !(other.isText() || isBinary(other));
    }
    if ((from.base == BaseType::Text || from.base == BaseType::NText) && isNumber(to)) clash = true;
    if (isBinary(from) && isFloat(to)) clash = true;
    if (clash)
        throw SqlError{206, 16, 2,
                       "Operand type clash: " + from.tsqlName() + " is incompatible with " +
                           to.tsqlName(),
                       true};
}

SqlType common(const SqlType& a, const SqlType& b) {
    const SqlType& high = precedence(a.base) >= precedence(b.base) ? a : b;
    const SqlType& low = &high == &a ? b : a;
    checkImplicit(low, high);
    if (high.isDecimal() || (high.isExactNumber() && low.isExactNumber())) {
        if ((!high.isDecimal() && low.base == high.base) || !isNumber(low)) return high;
        const int p1 = digitsOf(a), s1 = scaleOf(a), p2 = digitsOf(b), s2 = scaleOf(b);
        const int s = std::max(s1, s2);
        return capped(std::max(p1 - s1, p2 - s2) + s, s);
    }
    if ((high.isText() && low.isText()) || (isBinary(high) && isBinary(low))) {
        SqlType t = high;
        if (t.length != SqlType::kMax)
            t.length = low.length == SqlType::kMax ? SqlType::kMax : std::max(t.length, low.length);
        return t;
    }
    return high;
}

SqlType arithmetic(const std::string& op, const SqlType& a, const SqlType& b) {
    if (op == "+" && ((a.isText() && b.isText()) || (isBinary(a) && isBinary(b)))) {
        SqlType t = common(a, b);
        if (isLargeObject(t))
            throw SqlError{402, 16, 1,
                           "The data types " + a.tsqlName() + " and " + b.tsqlName() +
                               " are incompatible in the add operator.",
                           true};
        const bool max = a.length == SqlType::kMax || b.length == SqlType::kMax;
        t.length = max ? SqlType::kMax : std::min(isUnicode(t) ? 4000 : 8000, a.length + b.length);
        if (isFixedLength(t)) // char, nchar and binary: the varying type BaseType lists after it
            t.base = static_cast<BaseType>(static_cast<int>(t.base) + 1);
        return t;
    }
    const SqlType t = common(a, b);
    const bool bits = op == "&" || op == "|" || op == "^";
    if (!isNumber(t) || (bits && !(t.isInteger() || t.base == BaseType::Bit)) ||
        (op == "%" && isFloat(t)))
        throw invalidOperand(t, op == "+"   ? "add"
                                : op == "-" ? "subtract"
                                : op == "*" ? "multiply"
                                : op == "/" ? "divide"
                                : op == "%" ? "modulo"
                                            : "bitwise");
    if (!t.isDecimal()) return t.base == BaseType::Bit && !bits ? SqlType{BaseType::Int} : t;
    const int p1 = digitsOf(a), s1 = scaleOf(a), p2 = digitsOf(b), s2 = scaleOf(b);
    if (op == "*") return capped(p1 + p2 + 1, s1 + s2);
    if (op == "/") {
        const int s = std::max(6, s1 + p2 + 1);
        return capped(p1 - s1 + s2 + s, s);
    }
    const int s = std::max(s1, s2);
    if (op == "%") return capped(std::min(p1 - s1, p2 - s2) + s, s);
    return capped(std::max(p1 - s1, p2 - s2) + s + 1, s);
}

bool needsConversion(const SqlType& from, const SqlType& to) {
    if (from == to) return false;
    // a whole number (bit among them) needs none to be a wider whole number or a decimal
    if ((from.isInteger() || from.base == BaseType::Bit) &&
        ((to.isInteger() && precedence(to.base) >= precedence(from.base)) || to.isDecimal()))
        return false;
    // text to text and bytes to bytes only where the value may be cut or padded
    if ((from.isText() && to.isText()) || (isBinary(from) && isBinary(to)))
        return to.length != SqlType::kMax && !isLargeObject(to) &&
               (from.length == SqlType::kMax || from.length > to.length || isFixedLength(to));
    return true;
}

} // namespace sandbox
