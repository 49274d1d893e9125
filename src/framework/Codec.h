#pragma once

#include <string>

#include "framework/bufstring.h"

namespace Tarvik {

// One read and one write operation per field kind of the message model. The text codec is the
// one implementation; the binary FastCodec is a separate, non-virtual class and does not go
// through this interface.
class Codec {
  public:
    virtual ~Codec();

    virtual bool read_bool() = 0;
    virtual char read_int8() = 0;
    virtual unsigned char read_uint8() = 0;
    virtual short read_int16() = 0;
    virtual unsigned short read_uint16() = 0;
    virtual int read_int32() = 0;
    virtual unsigned int read_uint32() = 0;
    virtual long long read_int64() = 0;
    virtual unsigned long long read_uint64() = 0;
    virtual float read_float4() = 0;
    virtual double read_float8() = 0;
    virtual void read_string(bufstl::bufstring& x) = 0;
    virtual void read_cryptstring(bufstl::bufstring& x) = 0;
    virtual void read_blob(bufstl::bufstring& x) = 0;
    virtual void read_cryptblob(bufstl::bufstring& x) = 0;

    virtual void write_bool(bool x) = 0;
    virtual void write_int8(char x) = 0;
    virtual void write_uint8(unsigned char x) = 0;
    virtual void write_int16(short x) = 0;
    virtual void write_uint16(unsigned short x) = 0;
    virtual void write_int32(int x) = 0;
    virtual void write_uint32(unsigned int x) = 0;
    virtual void write_int64(long long x) = 0;
    virtual void write_uint64(unsigned long long x) = 0;
    virtual void write_float4(float x) = 0;
    virtual void write_float8(double x) = 0;
    virtual void write_string(const bufstl::bufstring& x) = 0;
    virtual void write_string(const std::string& x) = 0;
    virtual void write_cryptstring(const bufstl::bufstring& x) = 0;
    virtual void write_cryptstring(const std::string& x) = 0;
    virtual void write_blob(const bufstl::bufstring& x) = 0;
    virtual void write_blob(const std::string& x) = 0;
    virtual void write_cryptblob(const bufstl::bufstring& x) = 0;
    virtual void write_cryptblob(const std::string& x) = 0;
    // A NUL-terminated text, unquoted: an enumeration's name.
    virtual void write_rawfield(const char* x) = 0;
    // A NUL-terminated text, unquoted: labels, brackets and separators of a layout.
    virtual void write_data(const char* x) = 0;
};

}  // namespace Tarvik
