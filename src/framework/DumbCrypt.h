#pragma once

namespace Orbanex {

// Byte-substitution scrambler that keeps texts in binary log files from casual reading. It is
// a fixed substitution, not a cipher.
//
// Each operation transforms len bytes in place (nothing for len <= 0), each byte on its own:
//   encrypt    b -> fwd[(b + key) mod 256]
//   decrypt    b -> (rev[b] - key) mod 256
//   encryptNZ  0 -> 0, b -> 1 + fwdNZ[(b - 1 + key mod 255) mod 255]
//   decryptNZ  0 -> 0, b -> 1 + (revNZ[b - 1] - key mod 255 + 255) mod 255
//
// The tables are part of the stored file format: a log file reads back only with the tables it
// was written with, so they must never change. They are fixed by this rule, evaluated at compile
// time in DumbCrypt.cpp and pinned by a golden test:
//   Start from the identity permutation of 0..N-1 (N = 256 for fwd, 255 for fwdNZ) and the
//   32-bit state x = 0x5A17C0DE (fwd) or 0x0DDBA11 (fwdNZ). For i from N-1 down to 1:
//   x = x * 1664525 + 1013904223 (mod 2^32), j = (x >> 8) mod (i + 1), swap entries i and j.
//   rev and revNZ are the inverse permutations.
//
// Stateless; any thread may scramble its own buffer at any time.
struct DumbCrypt {
    static void encrypt(char* buf, int len, unsigned int key);
    static void decrypt(char* buf, int len, unsigned int key);
    static void encryptNZ(char* buf, int len, unsigned int key);
    static void decryptNZ(char* buf, int len, unsigned int key);
};

}  // namespace Orbanex
