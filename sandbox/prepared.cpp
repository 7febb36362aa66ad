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

} // namespace sandbox
