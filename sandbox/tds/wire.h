// Little helpers for reading and writing TDS byte streams.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tds {

using Bytes = std::vector<std::uint8_t>;

// A malformed or truncated message from the peer. The session answers it by closing.
class ProtocolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A data type this side does not know: the rest of the message cannot be read.
class UnknownType : public ProtocolError {
public:
    using ProtocolError::ProtocolError;
};

class Writer {
public:
    Bytes& bytes() { return buf_; }
    const Bytes& bytes() const { return buf_; }
    std::size_t size() const { return buf_.size(); }
    void clear() { buf_.clear(); }

    void u8(std::uint8_t v) { buf_.push_back(v); }
    void u16le(std::uint16_t v) { put(v, 2, false); }
    void u16be(std::uint16_t v) { put(v, 2, true); }
    void u32le(std::uint32_t v) { put(v, 4, false); }
    void u32be(std::uint32_t v) { put(v, 4, true); }
    void u64le(std::uint64_t v) { put(v, 8, false); }
    void raw(const void* data, std::size_t n) {
        auto p = static_cast<const std::uint8_t*>(data);
        buf_.insert(buf_.end(), p, p + n);
    }
    void raw(const Bytes& b) { raw(b.data(), b.size()); }
    void ucs2(std::u16string_view s) {
        for (char16_t c : s)
            u16le(static_cast<std::uint16_t>(c));
    }
    // B_VARCHAR: one length byte (characters), then UCS-2.
    void bVarchar(std::u16string_view s) {
        u8(static_cast<std::uint8_t>(s.size() > 255 ? 255 : s.size()));
        ucs2(s.substr(0, 255));
    }
    // US_VARCHAR: two length bytes (characters), then UCS-2.
    void usVarchar(std::u16string_view s) {
        u16le(static_cast<std::uint16_t>(s.size()));
        ucs2(s);
    }
    // Writes a placeholder and returns its position, for lengths known only later.
    std::size_t reserveU16() {
        u16le(0);
        return buf_.size() - 2;
    }
    void patchU16le(std::size_t at, std::uint16_t v) {
        buf_[at] = v & 0xff;
        buf_[at + 1] = v >> 8;
    }
    // The n low bytes of v, least significant first unless bigEndian.
    void put(std::uint64_t v, int n, bool bigEndian = false) {
        for (int i = 0; i < n; ++i)
            u8(static_cast<std::uint8_t>(v >> (8 * (bigEndian ? n - 1 - i : i))));
    }

private:
    Bytes buf_;
};

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), n_(size) {}
    explicit Reader(const Bytes& b) : Reader(b.data(), b.size()) {}

    std::size_t pos() const { return pos_; }
    std::size_t remaining() const { return n_ - pos_; }
    bool atEnd() const { return pos_ == n_; }
    void seek(std::size_t at) {
        if (at > n_) throw ProtocolError("offset past the end of the message");
        pos_ = at;
    }
    void skip(std::size_t k) { need(k), pos_ += k; }

    std::uint8_t u8() {
        need(1);
        return p_[pos_++];
    }
    std::uint8_t peek() const { // the next byte, left to read
        need(1);
        return p_[pos_];
    }
    std::uint16_t u16le() { return static_cast<std::uint16_t>(get(2, false)); }
    std::uint16_t u16be() { return static_cast<std::uint16_t>(get(2, true)); }
    std::uint32_t u32le() { return static_cast<std::uint32_t>(get(4, false)); }
    std::uint32_t u32be() { return static_cast<std::uint32_t>(get(4, true)); }
    std::uint64_t u64le() { return get(8, false); }
    Bytes raw(std::size_t k) {
        need(k);
        Bytes out(p_ + pos_, p_ + pos_ + k);
        pos_ += k;
        return out;
    }
    std::u16string ucs2(std::size_t chars) {
        need(chars * 2);
        std::u16string s(chars, u'\0');
        for (std::size_t i = 0; i < chars; ++i)
            s[i] = static_cast<char16_t>(p_[pos_ + 2 * i] | (p_[pos_ + 2 * i + 1] << 8));
        pos_ += chars * 2;
        return s;
    }
    std::u16string bVarchar() { return ucs2(u8()); }
    std::u16string usVarchar() { return ucs2(u16le()); }
    // An unsigned number of n bytes, least significant first unless bigEndian.
    std::uint64_t get(std::size_t n, bool bigEndian = false) {
        need(n);
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v = v << 8 | p_[pos_ + (bigEndian ? i : n - 1 - i)];
        pos_ += n;
        return v;
    }

private:
    void need(std::size_t k) const {
        if (k > n_ - pos_) throw ProtocolError("message ends too early");
    }
    const std::uint8_t* p_;
    std::size_t n_;
    std::size_t pos_ = 0;
};

// UTF-8 <-> UTF-16 for names and messages; invalid UTF-8 becomes U+FFFD.
std::u16string utf16(std::string_view utf8);
std::string utf8(std::u16string_view utf16);

} // namespace tds
