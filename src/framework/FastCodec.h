#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

#include "common/OXAssert.h"
#include "framework/CodecError.h"
#include "framework/DumbCrypt.h"
#include "framework/bufstring.h"

// The compact binary field encoding shared by the connection and the binary log files.
//
// A body is its fields back to back in declaration order: no tags, no lengths of nested
// records. Byte forms, per field kind:
//
//   bool              1 byte, 0x01 / 0x00 (any non-zero reads as true)
//   int8, uint8, enum 1 byte, the value's low 8 bits
//   uint16            LEB128, 1-3 bytes
//   int16/32/64       zigzag, then LEB128: 1-3 / 1-5 / 1-10 bytes
//   uint16 fixed      2 bytes little-endian
//   int64 fixed       8 bytes little-endian
//   decimal (raw)     NMA/NDA/NA: the single bytes 0x03/0x05/0x07; otherwise the 64-bit pattern
//                     u as ((u & 0x1F) << 2) | (0x80 if u >> 5 != 0), then LEB128 of u >> 5.
//                     On reading, bit 1 of the first byte asks for the complement of the value.
//   string            length as LEB128 (at most 65535), then the bytes, no terminator
//   list count        0..127: one byte; 128..32767: 0x80 | (n >> 8), then n & 0xFF
//
// LEB128: 7 bits per byte, least significant group first, bit 7 set on every byte but the last.
//
// Bounds: the codec is made over the caller's [begin, end). Every read is checked against the
// end and raises DecodeError instead of leaving the range; every write is checked too and raises
// EncodeError, as do strings and lists too long for the format. Nothing is ever truncated.

namespace Tarvik {

// Special raw values of the fixed-point decimal.
constexpr int64_t MAX = INT64_MAX - 1;
constexpr int64_t NMA = INT64_MIN + 1;
constexpr int64_t NDA = INT64_MIN + 2;
constexpr int64_t NA = INT64_MIN + 3;

// Largest string and list the format can carry.
constexpr size_t MAX_STRING_LENGTH = 65535;
constexpr size_t MAX_LIST_LENGTH = 32767;

class FastCodec {
  public:
    // The range must hold at least one byte: every encoded body does.
    FastCodec(char* begin, char* end) : _buf(begin), _begin(begin), _end(end) {
        OX_ASSERT(_begin < _end);
    }

    // Bytes written (after an encode) or consumed (after a decode) so far.
    size_t size() const { return static_cast<size_t>(_buf - _begin); }
    // Bytes left between the cursor and the end of the range.
    size_t remaining() const { return static_cast<size_t>(_end - _buf); }

    // --- single bytes ------------------------------------------------------------------------
    void write_bool(bool x) { putByte(x ? 1 : 0); }
    bool read_bool() { return takeByte() != 0; }
    void write_int8(char x) { putByte(static_cast<unsigned char>(x)); }
    char read_int8() { return static_cast<char>(takeByte()); }
    void write_uint8(unsigned char x) { putByte(x); }
    unsigned char read_uint8() { return takeByte(); }

    // --- variable-length integers ------------------------------------------------------------
    void write_int16(short x) { write_varint16_zigzag(x); }
    short read_int16() {
        int16_t v;
        read_varint16_zigzag(v);
        return v;
    }
    void write_uint16(unsigned short x) { write_varint(static_cast<uint32_t>(x)); }
    unsigned short read_uint16() {
        uint32_t v;
        read_varint(v, MAX_VARINT16_BYTES);
        return static_cast<unsigned short>(v);
    }
    void write_int32(int x) { write_varint32_zigzag(x); }
    int read_int32() {
        int32_t v;
        read_varint32_zigzag(v);
        return v;
    }
    void write_int64(long long x) { write_varint64_zigzag(x); }
    long long read_int64() {
        int64_t v;
        read_varint64_zigzag(v);
        return v;
    }

    // --- fixed-width integers, little-endian ---------------------------------------------------
    void write_uint16_fixed(unsigned short x) {
        need(2, "uint16");
        storeUint16Fixed(x);
    }
    unsigned short read_uint16_fixed() {
        have(2, "uint16");
        const auto* p = reinterpret_cast<const unsigned char*>(_buf);
        _buf += 2;
        return static_cast<unsigned short>(p[0] | (p[1] << 8));
    }
    void write_int64_fixed(long long x) {
        need(8, "int64");
        uint64_t u = static_cast<uint64_t>(x);
        for (int i = 0; i < 8; ++i, u >>= 8) _buf[i] = static_cast<char>(u & 0xFF);
        _buf += 8;
    }
    long long read_int64_fixed() {
        have(8, "int64");
        const auto* p = reinterpret_cast<const unsigned char*>(_buf);
        uint64_t u = 0;
        for (int i = 7; i >= 0; --i) u = (u << 8) | p[i];
        _buf += 8;
        return static_cast<long long>(u);
    }

    // --- fixed-point decimal (raw value of an amount times 10^9) -------------------------------
    void write_oxfloat(long long x) { write_varint_special<long long>(x); }
    long long read_oxfloat() {
        uint64_t v;
        read_varint_special(v);
        return static_cast<long long>(v);
    }

    // --- strings ---------------------------------------------------------------------------------
    void write_string(const std::string& x) { __write_string(x, false); }
    std::string read_string() { return __read_string(false); }
    // Reads into x, reusing its storage: decoding into an existing message allocates only for
    // a string longer than any it held before.
    void read_string(std::string& x) {
        const size_t n = read_uint16();
        have(n, "string");
        x.assign(_buf, n);
        _buf += n;
    }

    // Block strings of message blocks. The plain form has the bytes of the std::string form;
    // the fixed form has a 2-byte little-endian length; the scrambled form scrambles the bytes
    // on the wire, never the string.
    void write_string(const bufstl::bufstring& x) { __write_string(x, false, true); }
    void read_string(bufstl::bufstring& x) { __read_string(x, false, true); }
    void write_string_fixed(const bufstl::bufstring& x) { __write_string(x, false, false); }
    void read_string_fixed(bufstl::bufstring& x) { __read_string(x, false, false); }
    void write_cryptstring(const bufstl::bufstring& x) { __write_string(x, true, true); }
    void read_cryptstring(bufstl::bufstring& x) { __read_string(x, true, true); }

    // --- list counts ---------------------------------------------------------------------------
    // Takes the full count so that a list too long for the format is refused, not cut.
    void write_length(size_t x) {
        if (x > MAX_LIST_LENGTH) {
            throw EncodeError("FastCodec: list of " + std::to_string(x) +
                              " elements exceeds the maximum of 32767");
        }
        if (x < 128) {
            putByte(static_cast<unsigned char>(x));
        } else {
            need(2, "list count");
            _buf[0] = static_cast<char>(0x80 | (x >> 8));
            _buf[1] = static_cast<char>(x & 0xFF);
            _buf += 2;
        }
    }
    // Reads a list count and refuses one that the bytes left cannot hold, given that each
    // element takes at least minElementSize bytes (0: no such check), before anything is sized.
    unsigned short read_length(size_t minElementSize = 1) {
        unsigned int b0 = takeByte();
        unsigned int n = b0;
        if (b0 & 0x80) n = ((b0 << 8) | takeByte()) & 0x7FFF;
        if (minElementSize != 0 && n > remaining() / minElementSize) {
            throw DecodeError("FastCodec: list count " + std::to_string(n) +
                              " exceeds the bytes left");
        }
        return static_cast<unsigned short>(n);
    }

    // --- building blocks -----------------------------------------------------------------------
    // Plain LEB128 of an unsigned value, minimal length.
    template <typename T>
    void write_varint(T value) {
        static_assert(std::is_unsigned<T>::value, "LEB128 works on unsigned values");
        const size_t n = varintSize(value);
        need(n, "varint");
        storeVarint(value, n);
    }
    // Plain LEB128 into an accumulator of type T; at most maxBytes bytes (by default as many as
    // a value of T can need). Groups beyond T's width are dropped, as the format allows.
    template <typename T>
    void read_varint(T& result, int maxBytes = maxVarintBytes<T>()) {
        static_assert(std::is_unsigned<T>::value, "LEB128 works on unsigned values");
        const auto* p = reinterpret_cast<const unsigned char*>(_buf);
        const size_t room = remaining();
        if (room != 0 && p[0] < 0x80) {  // the common one-byte value
            result = p[0];
            ++_buf;
            return;
        }
        T acc = 0;
        size_t i = 0;
        // Eight bytes at once when they are there: the groups of a value that ends within them
        // are gathered without a loop; a longer value continues below from its ninth byte.
        if (room >= 8 && maxBytes >= 8) {
            uint64_t w;
            std::memcpy(&w, p, 8);
            const uint64_t stops = ~w & 0x8080808080808080ULL;
            const size_t len = stops != 0 ? (__builtin_ctzll(stops) >> 3) + 1 : 8;
            if (len < 8) w &= (uint64_t(1) << (8 * len)) - 1;
            acc = static_cast<T>(gatherGroups(w));
            i = len;
            if (stops != 0) {
                _buf += i;
                result = acc;
                return;
            }
        }
        // One bound per byte: whichever of the input end and the length limit comes first.
        const size_t limit = room < static_cast<size_t>(maxBytes) ? room : maxBytes;
        for (;;) {
            if (i == limit) {
                if (limit == room) underflow("varint");
                throw DecodeError("FastCodec: varint too long");
            }
            const unsigned char b = p[i];
            const size_t shift = 7 * i++;
            if (shift < sizeof(T) * 8) acc |= static_cast<T>(b & 0x7F) << shift;
            if ((b & 0x80) == 0) break;
        }
        _buf += i;
        result = acc;
    }

    void write_varint16_zigzag(int16_t value) {
        const uint16_t u = static_cast<uint16_t>(value);
        const uint16_t z = static_cast<uint16_t>((u << 1) ^ (value < 0 ? 0xFFFF : 0));
        write_varint(static_cast<uint32_t>(z));
    }
    void write_varint32_zigzag(int32_t value) {
        const uint32_t u = static_cast<uint32_t>(value);
        write_varint((u << 1) ^ (value < 0 ? ~uint32_t(0) : 0));
    }
    void write_varint64_zigzag(int64_t value) {
        const uint64_t u = static_cast<uint64_t>(value);
        write_varint((u << 1) ^ (value < 0 ? ~uint64_t(0) : 0));
    }
    void read_varint16_zigzag(int16_t& result) {
        uint32_t acc;
        read_varint(acc, MAX_VARINT16_BYTES);
        const uint16_t z = static_cast<uint16_t>(acc);
        result = static_cast<int16_t>(static_cast<uint16_t>((z >> 1) ^ (0u - (z & 1u))));
    }
    void read_varint32_zigzag(int32_t& result) {
        uint32_t z;
        read_varint(z);
        result = static_cast<int32_t>((z >> 1) ^ (0u - (z & 1u)));
    }
    void read_varint64_zigzag(int64_t& result) {
        uint64_t z;
        read_varint(z);
        result = static_cast<int64_t>((z >> 1) ^ (uint64_t(0) - (z & 1u)));
    }

    template <typename T>
    void write_varint_special(T value) {
        const int64_t v = static_cast<int64_t>(value);
        if (v == NMA || v == NDA || v == NA) {
            putByte(v == NMA ? 0x03 : v == NDA ? 0x05 : 0x07);
            return;
        }
        const uint64_t u = static_cast<uint64_t>(v);
        const uint64_t rest = u >> 5;
        const unsigned char first = static_cast<unsigned char>((u & 0x1F) << 2);
        if (rest == 0) {
            putByte(first);
            return;
        }
        const size_t n = varintSize(rest);
        need(1 + n, "decimal");
        *_buf++ = static_cast<char>(first | 0x80);
        storeVarint(rest, n);
    }
    void read_varint_special(uint64_t& result) {
        const unsigned char first = takeByte();
        switch (first) {
            case 0x03:
                result = static_cast<uint64_t>(NMA);
                return;
            case 0x05:
                result = static_cast<uint64_t>(NDA);
                return;
            case 0x07:
                result = static_cast<uint64_t>(NA);
                return;
            default:
                break;
        }
        uint64_t value = (first >> 2) & 0x1F;
        if (first & 0x80) {
            uint64_t rest;
            read_varint(rest);
            value |= rest << 5;
        }
        // A peer may send a negative value compactly as the complement of its encoding.
        result = (first & 0x02) ? ~value : value;
    }

    void __write_string(const std::string& x, bool encrypt);
    std::string __read_string(bool encrypt);
    // The length is the text without the stored NUL (0 for a string without storage); the
    // bytes follow unterminated. Scrambling works on the bytes in the output, never on x.
    void __write_string(const bufstl::bufstring& x, bool encrypt, bool useVarLen) {
        putText(x.c_str(), x.size_(), encrypt, useVarLen);
    }
    // The length is checked against the bytes left before x takes any block storage for it.
    void __read_string(bufstl::bufstring& x, bool encrypt, bool useVarLen) {
        const size_t n = useVarLen ? read_uint16() : read_uint16_fixed();
        have(n, "string");
        x.assign(_buf, n);
        _buf += n;
        if (encrypt && n != 0) Orbanex::DumbCrypt::decrypt(x.begin(), static_cast<int>(n), 0);
    }

  private:
    static constexpr int MAX_VARINT16_BYTES = 3;

    // The longest LEB128 form of a T.
    template <typename T>
    static constexpr size_t maxVarintBytes() {
        return (sizeof(T) * 8 + 6) / 7;
    }

    // memcpy for the short texts of most fields: up to 16 bytes as two overlapping fixed-size
    // copies, which compile to a few moves instead of a library call.
    static void copyBytes(char* dst, const char* src, size_t n) {
        if (n >= 8 && n <= 16) {
            std::memcpy(dst, src, 8);
            std::memcpy(dst + n - 8, src + n - 8, 8);
        } else if (n >= 4 && n < 8) {
            std::memcpy(dst, src, 4);
            std::memcpy(dst + n - 4, src + n - 4, 4);
        } else if (n < 4) {
            for (size_t i = 0; i < n; ++i) dst[i] = src[i];
        } else {
            std::memcpy(dst, src, n);
        }
    }

    // The 7-bit groups of up to eight LEB128 bytes, loaded little-endian into w, packed into
    // one number (continuation bits dropped).
    static uint64_t gatherGroups(uint64_t w) {
        static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "bytes are loaded little-endian");
        uint64_t x = w & 0x7F7F7F7F7F7F7F7FULL;
        x = ((x & 0x7F007F007F007F00ULL) >> 1) | (x & 0x007F007F007F007FULL);
        x = ((x & 0x3FFF00003FFF0000ULL) >> 2) | (x & 0x00003FFF00003FFFULL);
        x = ((x & 0x0FFFFFFF00000000ULL) >> 4) | (x & 0x000000000FFFFFFFULL);
        return x;
    }

    // Bytes of the minimal LEB128 form of value: one per started group of 7 bits.
    template <typename T>
    static size_t varintSize(T value) {
        const uint64_t v = static_cast<uint64_t>(value) | 1;
        return static_cast<size_t>(70 - __builtin_clzll(v)) / 7;
    }

    // Writes: refuse instead of passing the end of the output range.
    void need(size_t n, const char* what) {
        if (remaining() < n) overflow(what);
    }
    // Reads: refuse instead of passing the end of the input.
    void have(size_t n, const char* what) {
        if (remaining() < n) underflow(what);
    }

    // The unchecked stores behind the writers, for callers that have made room for a whole
    // field at once. storeVarint takes n = varintSize(value).
    template <typename T>
    void storeVarint(T value, size_t n) {
        // Each byte is computed from the value itself, not from the previous byte, so the
        // stores do not wait on one another.
        char* p = _buf;
        for (size_t k = 0; k + 1 < n; ++k) p[k] = static_cast<char>((value >> (7 * k)) | 0x80);
        p[n - 1] = static_cast<char>(value >> (7 * (n - 1)));
        _buf = p + n;
    }
    void storeUint16Fixed(unsigned short x) {
        _buf[0] = static_cast<char>(x & 0xFF);
        _buf[1] = static_cast<char>(x >> 8);
        _buf += 2;
    }
    // Every string form: the length (LEB128, or 2 bytes little-endian unless useVarLen), then the
    // n bytes at s, scrambled in the output when encrypt.
    inline void putText(const char* s, size_t n, bool encrypt, bool useVarLen);
    void putByte(unsigned char b) {
        need(1, "byte");
        *_buf++ = static_cast<char>(b);
    }
    unsigned char takeByte() {
        have(1, "byte");
        return static_cast<unsigned char>(*_buf++);
    }
    [[noreturn]] static void overflow(const char* what) {
        throw EncodeError(std::string("FastCodec: no room to write ") + what);
    }
    [[noreturn]] static void underflow(const char* what) {
        throw DecodeError(std::string("FastCodec: input ends inside ") + what);
    }

    char* _buf;
    char* _begin;
    char* _end;
};

inline void FastCodec::putText(const char* s, size_t n, bool encrypt, bool useVarLen) {
    if (n > MAX_STRING_LENGTH) {
        throw EncodeError("FastCodec: string of " + std::to_string(n) +
                          " bytes exceeds the maximum of 65535");
    }
    const size_t lengthSize = useVarLen ? varintSize(n) : 2;
    need(lengthSize + n, "string");
    if (useVarLen) {
        storeVarint(n, lengthSize);
    } else {
        storeUint16Fixed(static_cast<unsigned short>(n));
    }
    if (n == 0) return;
    copyBytes(_buf, s, n);
    if (encrypt) Orbanex::DumbCrypt::encrypt(_buf, static_cast<int>(n), 0);
    _buf += n;
}

inline void FastCodec::__write_string(const std::string& x, bool encrypt) {
    putText(x.data(), x.size(), encrypt, true);
}

inline std::string FastCodec::__read_string(bool encrypt) {
    std::string s;
    read_string(s);
    if (encrypt && !s.empty()) Orbanex::DumbCrypt::decrypt(&s[0], static_cast<int>(s.size()), 0);
    return s;
}

}  // namespace Tarvik
