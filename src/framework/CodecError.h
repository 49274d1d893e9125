#pragma once

#include <stdexcept>
#include <string>

namespace Tarvik {

// Raised by a decoder when the bytes cannot be a valid encoding: a read past the end of the
// range, a varint longer than its type allows, a list count the remaining bytes cannot hold.
// Network and file input is hostile; this is how it is refused without reading out of range.
class DecodeError : public std::runtime_error {
  public:
    explicit DecodeError(const std::string& what) : std::runtime_error(what) {}
};

// Raised by an encoder instead of writing a stream the format cannot carry: a string over
// 65535 bytes, a list over 32767 elements, or output that would pass the end of the range.
class EncodeError : public std::runtime_error {
  public:
    explicit EncodeError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace Tarvik
