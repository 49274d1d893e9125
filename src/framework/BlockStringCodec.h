#pragma once

// The block-string forms of FastCodec (declared in the class, defined here so that the codec
// does not depend on the containers). Every user of those forms includes this header.

#include "framework/DumbCrypt.h"
#include "framework/FastCodec.h"
#include "framework/bufstring.h"

namespace Tarvik {

inline void FastCodec::write_string(const bufstl::bufstring& x) { __write_string(x, false, true); }
inline void FastCodec::read_string(bufstl::bufstring& x) { __read_string(x, false, true); }
inline void FastCodec::write_string_fixed(const bufstl::bufstring& x) {
    __write_string(x, false, false);
}
inline void FastCodec::read_string_fixed(bufstl::bufstring& x) { __read_string(x, false, false); }
inline void FastCodec::write_cryptstring(const bufstl::bufstring& x) {
    __write_string(x, true, true);
}
inline void FastCodec::read_cryptstring(bufstl::bufstring& x) { __read_string(x, true, true); }

// The length is the text without the stored NUL (0 for a string without storage); the bytes
// follow unterminated. Scrambling works on the bytes in the output, never on x.
inline void FastCodec::__write_string(const bufstl::bufstring& x, bool encrypt, bool useVarLen) {
    putText(x.c_str(), x.size_(), encrypt, useVarLen);
}

// The length is checked against the bytes left before x takes any block storage for it.
inline void FastCodec::__read_string(bufstl::bufstring& x, bool encrypt, bool useVarLen) {
    const size_t n = useVarLen ? read_uint16() : read_uint16_fixed();
    have(n, "string");
    x.assign(_buf, n);
    _buf += n;
    if (encrypt && n != 0) Orbanex::DumbCrypt::decrypt(x.begin(), static_cast<int>(n), 0);
}

}  // namespace Tarvik
