// Fuzz target: a quoted name reads back as exactly that name, whatever it holds.
#include "dedupe/sql_text.h"
#include "sql/lexer.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string name(reinterpret_cast<const char*>(data), size);
    if (name.find('\0') != std::string::npos) return 0; // the server keeps no NUL in a name
    using rowlark::dedupe::bracketed;
    using rowlark::dedupe::objectIdLiteral;
    auto t = sandbox::tokenize("SELECT * FROM " + bracketed(name) +
                               " WHERE x = " + objectIdLiteral(name));
    if (t.size() != 8) std::abort();
    if (t[3].kind != sandbox::Token::QuotedName || t[3].text != name) std::abort();
    if (t[7].kind != sandbox::Token::String || !t[7].unicode) std::abort();
    if (t[7].text != name && t[7].text != bracketed(name)) std::abort();
    return 0;
}
