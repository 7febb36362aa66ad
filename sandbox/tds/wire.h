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
    void u16le(std::uint16_t v) {
        u8(v & 0xff);
        u8(v >> 8);
    }
    void u16be(std::uint16_t v) {
        u8(v >> 8);
        u8(v & 0xff);
    }
    void u32le(std::uint32_t v) {
        u16le(v & 0xffff);
        u16le(v >> 16);
    }
    void u32be(std::uint32_t v) {
        u16be(v >> 16);
        u16be(v & 0xffff);
    }
    void u64le(std::uint64_t v) {
        u32le(static_cast<std::uint32_t>(v));
        u32le(static_cast<std::uint32_t>(v >> 32));
    }
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
    std::uint16_t u16le() {
        need(2);
        std::uint16_t v = p_[pos_] | (p_[pos_ + 1] << 8);
        pos_ += 2;
        return v;
    }
    std::uint16_t u16be() {
        need(2);
        std::uint16_t v = (p_[pos_] << 8) | p_[pos_ + 1];
        pos_ += 2;
        return v;
    }
    std::uint32_t u32le() {
        std::uint32_t lo = u16le();
        return lo | (std::uint32_t(u16le()) << 16);
    }
    std::uint32_t u32be() {
        std::uint32_t hi = u16be();
        return (hi << 16) | u16be();
    }
    std::uint64_t u64le() {
        std::uint64_t lo = u32le();
        return lo | (std::uint64_t(u32le()) << 32);
    }
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
