#include "prepared.h"

namespace sandbox {

std::int32_t PreparedStatements::add(Prepared p) {
    const std::int32_t handle = next_++;
    byHandle_.emplace(handle, std::move(p));
    return handle;
}

const Prepared* PreparedStatements::find(std::int32_t handle) const {
    auto it = byHandle_.find(handle);
    return it == byHandle_.end() ? nullptr : &it->second;
}

bool PreparedStatements::remove(std::int32_t handle) {
    return byHandle_.erase(handle) > 0;
}

std::vector<tds::RpcParam> namedByDeclaration(std::u16string_view declarations,
                                              std::vector<tds::RpcParam> values) {
    // The names in order: each "@name" that starts a declaration, outside the parentheses of a
    // type such as decimal(10, 2).
    std::vector<std::u16string> names;
    int depth = 0;
    bool atStart = true;
    for (std::size_t i = 0; i < declarations.size(); ++i) {
        const char16_t c = declarations[i];
        if (c == u'(') ++depth;
        if (c == u')') --depth;
        if (c == u',' && depth == 0) {
            atStart = true;
        } else if (c == u'@' && atStart) {
            std::size_t j = i + 1;
            while (j < declarations.size() && declarations[j] != u' ' && declarations[j] != u'\t' &&
                   declarations[j] != u'\r' && declarations[j] != u'\n' && declarations[j] != u',')
                ++j;
            names.emplace_back(declarations.substr(i, j - i));
            atStart = false;
            i = j - 1;
        }
    }
    for (std::size_t k = 0; k < values.size() && k < names.size(); ++k)
        if (values[k].name.empty()) values[k].name = names[k];
    return values;
}

} // namespace sandbox
