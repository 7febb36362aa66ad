// TDS versions, and what each changes in what the server sends.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace tds {

enum TdsVersion : std::uint32_t {
    kTds71 = 0x71000001,  // SQL Server 2000 SP1
    kTds72 = 0x72090002,  // 2005: 8-byte row counts, 4-byte user types, the (max) types
    kTds73A = 0x730A0003, // 2008: date, time, datetime2
    kTds73B = 0x730B0003,
    kTds74 = 0x74000004,
};

// The version a login goes on in: the client's own when the server knows it, else the nearest
// below it, and never outside 7.1 to 7.4.
inline std::uint32_t negotiateVersion(std::uint32_t client) {
    for (std::uint32_t v : {kTds74, kTds73B, kTds73A, kTds72})
        if (client >= v) return v;
    return kTds71;
}

inline bool hasLongCounts(std::uint32_t version) {
    return version >= kTds72;
}
inline bool hasMaxTypes(std::uint32_t version) {
    return version >= kTds72;
}
inline bool hasDateTypes(std::uint32_t version) {
    return version >= kTds73A;
}

} // namespace tds
