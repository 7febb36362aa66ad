// Statements a client prepared (sp_prepare, sp_prepexec), kept for the connection under a handle
// until sp_unprepare or the connection's end, as the server keeps them.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace sandbox {

struct PreparedText {
    std::u16string declarations; // "@P1 int, @P2 nvarchar(10)"
    std::u16string statement;
};

class PreparedStatements {
public:
    // The new statement's handle: 1, 2, ... as the server numbers them for a connection.
    std::int32_t add(PreparedText p) {
        byHandle_.emplace(next_, std::move(p));
        return next_++;
    }
    const PreparedText* find(std::int32_t handle) const {
        auto it = byHandle_.find(handle);
        return it == byHandle_.end() ? nullptr : &it->second;
    }
    bool remove(std::int32_t handle) { return byHandle_.erase(handle) > 0; }

private:
    std::map<std::int32_t, PreparedText> byHandle_;
    std::int32_t next_ = 1;
};

} // namespace sandbox
