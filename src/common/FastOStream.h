#pragma once

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iosfwd>
#include <limits>
#include <string>

#include "common/OXAssert.h"
#include "common/Util.h"

namespace Orbanex {

// Formatting cursor over a character buffer that the caller owns: every output operator writes
// its text at the cursor and moves the cursor on. No allocation, locale or virtual call.
//
// The cursor never passes the end of the buffer: a text that does not fit is cut at the end
// and the rest is dropped, so an undersized buffer yields a truncated text, never a write
// outside it. The text [begin, cursor) is not NUL-terminated until ends() (or fends).
//
// Not thread-safe: one stream belongs to one thread at a time.
class FastOStream {
  public:
    FastOStream(char* begin, char* end) { init(begin, end); }

    // Characters written so far (the terminating NUL included once ends() has run).
    size_t size() const { return static_cast<size_t>(_buf - _begin); }

    // Room left between the cursor and the end.
    size_t free() const { return _buf < _end ? static_cast<size_t>(_end - _buf) : 0; }

    // The cursor, for a writer that fills memory directly: at most free() characters, then
    // advance() over them.
    char* current() { return _buf; }

    // Moves the cursor over len characters that a writer put at the cursor directly; never
    // beyond the end.
    void advance(size_t len) { _buf += len < free() ? len : free(); }

    // NUL-terminates the text once: nothing happens when the last character written is already
    // a NUL. When the buffer is full, the last character gives way to the NUL. Returns the
    // start of the text. The buffer must hold at least one character.
    const char* ends() {
        if (_buf > _begin && _buf[-1] == '\0') return _begin;
        if (_buf < _end) {
            *_buf++ = '\0';
        } else {
            OX_ASSERT(_buf > _begin);
            _buf[-1] = '\0';
        }
        return _begin;
    }

    // Decimals of the float and double formats; at most 9.
    void setprecision(size_t n) {
        if (n > 9) n = 9;
        _precision = static_cast<int>(n);
        const char digit = static_cast<char>('0' + n);
        const char fmtfloat[8] = {'%', '.', digit, 'f', '\0'};
        const char fmtdouble[8] = {'%', '.', digit, 'l', 'f', '\0'};
        std::memcpy(_fmtfloat, fmtfloat, sizeof _fmtfloat);
        std::memcpy(_fmtdouble, fmtdouble, sizeof _fmtdouble);
    }

    FastOStream& operator<<(char c) {
        if (_buf < _end) *_buf++ = c;
        return *this;
    }
    FastOStream& operator<<(short v) { return putInt(v); }
    FastOStream& operator<<(unsigned short v) { return putInt(v); }
    FastOStream& operator<<(int v) { return putInt(v); }
    FastOStream& operator<<(unsigned int v) { return putInt(v); }
    FastOStream& operator<<(long v) { return putInt(v); }
    FastOStream& operator<<(unsigned long v) { return putInt(v); }
    FastOStream& operator<<(long long v) { return putInt(v); }
    FastOStream& operator<<(unsigned long long v) { return putInt(v); }
    FastOStream& operator<<(double v) { return putFloat(_fmtdouble, v); }
    FastOStream& operator<<(float v) { return putFloat(_fmtfloat, static_cast<double>(v)); }

    // The characters up to the NUL; nothing for a null pointer.
    FastOStream& operator<<(const char* s) {
        if (s != nullptr) write(s, std::strlen(s));
        return *this;
    }

    // The string's characters up to its first NUL.
    FastOStream& operator<<(const std::string& s) {
        return write(s.data(), strnlen(s.c_str(), s.size()));
    }

    FastOStream& operator<<(FastOStream& (*manipulator)(FastOStream&)) {
        return manipulator(*this);
    }

    // Exactly len characters of s, NULs included.
    FastOStream& write(const char* s, size_t len) {
        const size_t n = len < free() ? len : free();
        if (n != 0) {
// Inlined into a caller that writes a short literal into a large stream, GCC bounds n by the
// room left rather than by the source and reports a read past the literal that cannot happen.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
#pragma GCC diagnostic ignored "-Wstringop-overread"
#endif
            std::memcpy(_buf, s, n);
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
            _buf += n;
        }
        return *this;
    }

    // The characters of s up to its NUL but at most width of them, then fill up to exactly width
    // characters in all.
    FastOStream& write_pad(const char* s, size_t width, char fill) {
        size_t len = 0;
        if (s != nullptr) {
            len = strnlen(s, width);
            write(s, len);
        }
        size_t pad = width - len;
        if (pad > free()) pad = free();
        std::memset(_buf, fill, pad);
        _buf += pad;
        return *this;
    }

  protected:
    void init(char* begin, char* end) {
        _buf = begin;
        _begin = begin;
        _end = end;
        setprecision(5);
    }

  private:
    // Longest "%.9f" text of a double: sign, 309 integer digits, point, 9 decimals.
    static constexpr size_t FLOAT_TEXT_MAX = 400;

    template <typename T>
    FastOStream& putInt(T v) {
        constexpr size_t MAXLEN = std::numeric_limits<T>::digits10 + 2;
        if (free() >= MAXLEN) {
            _buf += Util::itoa_T(v, _buf, 10);
        } else {
            char text[MAXLEN];
            write(text, static_cast<size_t>(Util::itoa_T(v, text, 10)));
        }
        return *this;
    }

    FastOStream& putFloat(const char* fmt, double v) {
        const size_t room = free();
        if (room == 0) return *this;
        const int n = std::snprintf(_buf, room, fmt, v);
        if (n < 0) return *this;
        if (static_cast<size_t>(n) < room) {
            _buf += n;
            return *this;
        }
        char text[FLOAT_TEXT_MAX];
        const int m = std::snprintf(text, sizeof text, fmt, v);
        if (m > 0)
            write(text,
                  static_cast<size_t>(m) < sizeof text ? static_cast<size_t>(m) : sizeof text - 1);
        return *this;
    }

    char* _buf;
    const char* _begin;
    const char* _end;
    char _fmtfloat[8];
    char _fmtdouble[8];
    int _precision;
};

// A FastOStream over an array of NBYTES characters that it holds itself, for texts built on the
// stack and then handed on as NUL-terminated strings.
template <int NBYTES>
class StaticOStream : public FastOStream {
  public:
    StaticOStream() : FastOStream(_staticBuf, _staticBuf + NBYTES) {}
    StaticOStream(const StaticOStream&) = delete;
    StaticOStream& operator=(const StaticOStream&) = delete;

    char* buffer() { return _staticBuf; }

  private:
    char _staticBuf[NBYTES];
};

// NUL-terminates the text once (ends()).
inline FastOStream& fends(FastOStream& os) {
    os.ends();
    return os;
}

inline FastOStream& fendl(FastOStream& os) { return os << '\n'; }

// The system's text for errno (strerror_r); nothing when errno is 0.
FastOStream& ferror(FastOStream& os);
std::ostream& ferror(std::ostream& os);

}  // namespace Orbanex

namespace std {
// Lets a standard stream take the errno manipulator as `os << error`.
std::ostream& error(std::ostream& os);
}  // namespace std
