#include "row.h"

#include "tokens.h"

#include <algorithm>
#include <bit>
#include <stdexcept>

namespace tds {
namespace {

// The characters 0x80..0x9F of Windows-1252; 0 where the code page has a hole.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::uint8_t cp1252Byte(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<std::uint8_t>(c);
    const auto* at = std::find(std::begin(kCp1252High), std::end(kCp1252High), c);
    return at == std::end(kCp1252High) ? '?' : static_cast<std::uint8_t>(0x80 + (at - kCp1252High));
}

template <class T> const T& need(const Value& v, const char* what) {
    if (auto p = std::get_if<T>(&v)) return *p;
    throw std::invalid_argument(std::string("value does not fit a ") + what + " column");
}

// Text as the column's type carries it: UTF-16 for the N types, code page 1252 for the others.
void appendText(Writer& w, const TypeInfo& t, std::u16string_view s) {
    if (t.isUnicode())
        w.ucs2(s);
    else
        appendCp1252(w, s);
}

Bytes textBytes(const TypeInfo& t, const Value& v) {
    if (t.isBinary()) return need<Bytes>(v, "binary");
    Writer w;
    appendText(w, t, need<std::u16string>(v, "text"));
    return std::move(w.bytes());
}

Value textValue(const TypeInfo& t, Bytes b) {
    if (t.isBinary()) return b;
    if (t.isUnicode()) {
        if (b.size() % 2) throw ProtocolError("odd byte count in a Unicode value");
        return Reader(b).ucs2(b.size() / 2);
    }
    return fromCp1252(b);
}

Value decodeDateTime(Reader& r, const TypeInfo& t, int n) {
    if (t.type == kDateTimN && n == 4) {
        std::int32_t days = r.u16le();
        std::int64_t minutes = r.u16le();
        return DateTime{days + kDays1900, minutes * 60'000'000'000};
    }
    if (t.type == kDateTimN) {
        auto days = static_cast<std::int32_t>(r.u32le());
        std::int64_t ticks = r.u32le();
        return DateTime{days + kDays1900, (ticks * 10'000'000 + 1) / 3};
    }
    if (t.type == kDateN) return DateTime{static_cast<std::int32_t>(r.get(3)), 0};
    const int tb = TypeInfo::timeBytes(t.scale);
    const auto units = static_cast<std::int64_t>(r.get(tb));
    std::int32_t days = t.type == kDateTime2N ? static_cast<std::int32_t>(r.get(3)) : 0;
    return DateTime{days, units * pow10(9 - t.scale)};
}

// Whether a value of the type goes with a length of one byte (0 for NULL).
bool byteLength(const TypeInfo& t) {
    static constexpr std::uint8_t kTypes[] = {kIntN,     kBitN,       kFltN,     kMoneyN,
                                              kDecimalN, kNumericN,   kDateTimN, kDateN,
                                              kTimeN,    kDateTime2N, kGuid};
    return std::find(std::begin(kTypes), std::end(kTypes), t.type) != std::end(kTypes);
}

void encodeFloat(Writer& w, const TypeInfo& t, double d) {
    w.u8(static_cast<std::uint8_t>(t.maxLen));
    if (t.maxLen == 4) return w.u32le(std::bit_cast<std::uint32_t>(static_cast<float>(d)));
    w.u64le(std::bit_cast<std::uint64_t>(d));
}

void encodeDecimal(Writer& w, const TypeInfo& t, __int128 s) {
    if (t.type == kMoneyN) {
        const auto m = static_cast<std::uint64_t>(static_cast<std::int64_t>(s));
        w.u8(static_cast<std::uint8_t>(t.maxLen));
        if (t.maxLen == 8) w.u32le(static_cast<std::uint32_t>(m >> 32));
        return w.u32le(static_cast<std::uint32_t>(m));
    }
    const int n = TypeInfo::decimalBytes(t.precision);
    w.u8(static_cast<std::uint8_t>(n + 1));
    w.u8(s < 0 ? 0 : 1);
    unsigned __int128 mag = s < 0 ? -static_cast<unsigned __int128>(s) : s;
    for (int i = 0; i < n; ++i)
        w.u8(static_cast<std::uint8_t>(mag >> (8 * i)));
}

void encodeDateTime(Writer& w, const TypeInfo& t, const DateTime& dt) {
    const std::int32_t days = dt.days - kDays1900;
    if (t.type == kDateTimN && t.maxLen == 4) {
        // To the minute as the server rounds: 29.998 seconds down, 29.999 up.
        const std::int64_t minutes = (dt.nanos + 30'001'000'000) / 60'000'000'000;
        w.u8(4);
        w.u16le(static_cast<std::uint16_t>(days + minutes / 1440));
        return w.u16le(static_cast<std::uint16_t>(minutes % 1440));
    }
    if (t.type == kDateTimN) {
        // 1/300 s ticks, rounded as the server rounds
        const std::int64_t ticks = (dt.nanos * 3 + 5'000'000) / 10'000'000;
        w.u8(8);
        w.u32le(static_cast<std::uint32_t>(days + ticks / (300ll * 86400)));
        return w.u32le(static_cast<std::uint32_t>(ticks % (300ll * 86400)));
    }
    const int tb = t.type == kDateN ? 0 : TypeInfo::timeBytes(t.scale);
    w.u8(static_cast<std::uint8_t>(tb + (t.type == kTimeN ? 0 : 3)));
    if (t.type != kDateN) w.put(static_cast<std::uint64_t>(dt.nanos / pow10(9 - t.scale)), tb);
    if (t.type != kTimeN) w.put(static_cast<std::uint32_t>(dt.days), 3);
}

// A value whose length takes one byte, not NULL.
void encodeSmall(Writer& w, const TypeInfo& t, const Value& v) {
    switch (t.type) {
    case kIntN:
    case kBitN:
        w.u8(static_cast<std::uint8_t>(t.maxLen));
        return w.put(static_cast<std::uint64_t>(need<std::int64_t>(v, "integer")), t.maxLen);
    case kFltN:
        return encodeFloat(w, t, need<double>(v, "float"));
    case kMoneyN:
    case kDecimalN:
    case kNumericN:
        return encodeDecimal(w, t, need<Decimal>(v, "decimal").scaled);
    case kGuid: {
        const auto& b = need<Bytes>(v, "uniqueidentifier");
        if (b.size() != 16) throw std::invalid_argument("a uniqueidentifier has 16 bytes");
        w.u8(16);
        return w.raw(b);
    }
    default:
        return encodeDateTime(w, t, need<DateTime>(v, "date and time"));
    }
}

// Text and bytes of up to 8,000 bytes, with a length of two bytes.
void encodeShort(Writer& w, const TypeInfo& t, const Value& v) {
    if (std::holds_alternative<std::monostate>(v)) return w.u16le(0xFFFF);
    // Text, the bulk of most rows, goes straight into the packet without a copy of its own.
    if (const auto* s = std::get_if<std::u16string>(&v); s && !t.isBinary()) {
        const std::size_t size = s->size() * (t.isUnicode() ? 2 : 1);
        if (size > t.maxLen) throw std::invalid_argument("value longer than its column");
        w.u16le(static_cast<std::uint16_t>(size));
        return appendText(w, t, *s);
    }
    Bytes b = textBytes(t, v);
    if (b.size() > t.maxLen) throw std::invalid_argument("value longer than its column");
    w.u16le(static_cast<std::uint16_t>(b.size()));
    w.raw(b);
}

// A value whose length took one byte, n of them, not 0.
Value decodeSmall(Reader& r, const TypeInfo& t, int n) {
    switch (t.type) {
    case kIntN:
    case kBitN: {
        std::uint64_t u = r.get(n);
        if (n < 8 && n > 1 && (u >> (8 * n - 1))) u |= ~0ull << (8 * n); // sign-extend
        return static_cast<std::int64_t>(u);
    }
    case kFltN:
        if (n == 4) return static_cast<double>(std::bit_cast<float>(r.u32le()));
        return std::bit_cast<double>(r.u64le());
    case kMoneyN: {
        if (n == 4) return Decimal{static_cast<std::int32_t>(r.u32le())};
        std::uint64_t hi = r.u32le();
        return Decimal{static_cast<std::int64_t>((hi << 32) | r.u32le())};
    }
    case kDecimalN:
    case kNumericN: {
        const bool positive = r.u8() == 1;
        unsigned __int128 mag = 0;
        for (int i = 0; i < n - 1; ++i)
            mag |= static_cast<unsigned __int128>(r.u8()) << (8 * i);
        const auto s = static_cast<__int128>(mag);
        return Decimal{positive ? s : -s};
    }
    case kGuid:
        return r.raw(n);
    default:
        return decodeDateTime(r, t, n);
    }
}

} // namespace

void encodeValue(Writer& w, const TypeInfo& t, const Value& v) {
    const bool null = std::holds_alternative<std::monostate>(v);
    if (t.isPlp()) {
        if (null) return w.u64le(~0ull);
        Bytes b = textBytes(t, v);
        w.u64le(b.size());
        if (!b.empty()) {
            w.u32le(static_cast<std::uint32_t>(b.size()));
            w.raw(b);
        }
        return w.u32le(0);
    }
    if (t.isLongText()) {
        // In a row: a text pointer and a timestamp (anything will do), then the value.
        if (null) return w.u8(0);
        Bytes b = textBytes(t, v);
        w.u8(16);
        w.raw(Bytes(16 + 8, 0));
        w.u32le(static_cast<std::uint32_t>(b.size()));
        return w.raw(b);
    }
    if (!byteLength(t)) return encodeShort(w, t, v);
    if (null) return w.u8(0);
    encodeSmall(w, t, v);
}

Value decodeValue(Reader& r, const TypeInfo& t) {
    if (t.isPlp()) {
        std::uint64_t total = r.u64le();
        if (total == ~0ull) return std::monostate{};
        Bytes b;
        for (std::uint32_t chunk; (chunk = r.u32le()) != 0;) {
            Bytes part = r.raw(chunk);
            b.insert(b.end(), part.begin(), part.end());
        }
        return textValue(t, std::move(b));
    }
    if (t.isLongText()) {
        // As a request's parameter: the length, then the value (no text pointer).
        const std::uint32_t n = r.u32le();
        if (n == 0xFFFFFFFF) return std::monostate{};
        return textValue(t, r.raw(n));
    }
    if (!byteLength(t)) {
        std::uint16_t n = r.u16le();
        if (n == 0xFFFF) return std::monostate{};
        return textValue(t, r.raw(n));
    }
    const int n = r.u8();
    if (!n) return std::monostate{};
    return decodeSmall(r, t, n);
}

Value decodeRowValue(Reader& r, const TypeInfo& t) {
    if (!t.isLongText()) return decodeValue(r, t);
    const std::uint8_t pointer = r.u8();
    if (pointer == 0) return std::monostate{};
    r.skip(pointer + 8u);
    return textValue(t, r.raw(r.u32le()));
}

void encodeRow(Writer& w, const std::vector<ColumnInfo>& columns, const std::vector<Value>& row) {
    w.u8(kTokRow);
    for (std::size_t i = 0; i < columns.size(); ++i)
        encodeValue(w, columns[i].type, row.at(i));
}

void appendCp1252(Writer& w, std::u16string_view s) {
    for (char16_t c : s)
        w.u8(cp1252Byte(c));
}

std::u16string fromCp1252(const Bytes& b) {
    std::u16string s;
    s.reserve(b.size());
    for (std::uint8_t c : b) {
        char16_t u = (c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : c;
        s.push_back(u ? u : u'\uFFFD');
    }
    return s;
}

} // namespace tds
