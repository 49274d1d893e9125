#pragma once

#include <string>

#include "common/FastOStream.h"
#include "framework/Codec.h"

namespace Tarvik {

// Write-only codec that renders field values as text at the cursor of a stream:
//
//   bool                  T or F
//   integers              decimal; int8 sign-extended (the byte 0xFF is -1), uint8 0..255
//   float4, float8        the stream's float and double formats ("%.5f" by default)
//   strings, blobs        "text": between double quotes, a block string's stored characters
//                         but its terminating NUL, or a std::string's characters up to its first
//                         NUL; nothing escaped; the scrambled forms are never scrambled
//   rawfield, data        the text up to its NUL, unquoted; nothing for a null pointer
//
// No terminating NUL is written. The stream bounds every write: a text that does not fit is cut
// at the end of the stream's buffer. Reads consume nothing and return zero.
//
// Not thread-safe: a codec belongs to the thread that renders, for the time of one dump.
template <class STREAM>
class TextCodec : public Codec {
  public:
    typedef STREAM stream_type;

    explicit TextCodec(stream_type& os) : _os(os) {}

    stream_type& stream() { return _os; }

    bool read_bool() override { return false; }
    char read_int8() override { return 0; }
    unsigned char read_uint8() override { return 0; }
    short read_int16() override { return 0; }
    unsigned short read_uint16() override { return 0; }
    int read_int32() override { return 0; }
    unsigned int read_uint32() override { return 0; }
    long long read_int64() override { return 0; }
    unsigned long long read_uint64() override { return 0; }
    float read_float4() override { return 0.0f; }
    double read_float8() override { return 0.0; }
    void read_string(bufstl::bufstring&) override {}
    void read_cryptstring(bufstl::bufstring&) override {}
    void read_blob(bufstl::bufstring&) override {}
    void read_cryptblob(bufstl::bufstring&) override {}

    void write_bool(bool x) override { _os << (x ? 'T' : 'F'); }
    void write_int8(char x) override { _os << static_cast<int>(static_cast<signed char>(x)); }
    void write_uint8(unsigned char x) override { _os << static_cast<unsigned int>(x); }
    void write_int16(short x) override { _os << x; }
    void write_uint16(unsigned short x) override { _os << x; }
    void write_int32(int x) override { _os << x; }
    void write_uint32(unsigned int x) override { _os << x; }
    void write_int64(long long x) override { _os << x; }
    void write_uint64(unsigned long long x) override { _os << x; }
    void write_float4(float x) override { _os << x; }
    void write_float8(double x) override { _os << x; }

    void write_string(const bufstl::bufstring& x) override {
        _os << '"';
        _os.write(x.c_str(), x.size_());
        _os << '"';
    }
    void write_string(const std::string& x) override { _os << '"' << x << '"'; }
    void write_cryptstring(const bufstl::bufstring& x) override { write_string(x); }
    void write_cryptstring(const std::string& x) override { write_string(x); }
    void write_blob(const bufstl::bufstring& x) override { write_string(x); }
    void write_blob(const std::string& x) override { write_string(x); }
    void write_cryptblob(const bufstl::bufstring& x) override { write_string(x); }
    void write_cryptblob(const std::string& x) override { write_string(x); }

    void write_rawfield(const char* x) override { _os << x; }
    void write_data(const char* x) override { _os << x; }

  private:
    stream_type& _os;
};

extern template class TextCodec<Orbanex::FastOStream>;

}  // namespace Tarvik
