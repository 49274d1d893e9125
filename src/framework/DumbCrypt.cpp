#include "framework/DumbCrypt.h"

#include <array>
#include <cstdint>

namespace Orbanex {

namespace {

template <int N>
struct Tables {
    std::array<unsigned char, N> fwd{};
    std::array<unsigned char, N> rev{};
};

// The shuffle described in the header; it must never change (stored files depend on it).
template <int N>
constexpr Tables<N> makeTables(uint32_t seed) {
    Tables<N> t{};
    for (int i = 0; i < N; ++i) t.fwd[i] = static_cast<unsigned char>(i);
    uint32_t x = seed;
    for (int i = N - 1; i > 0; --i) {
        x = x * 1664525u + 1013904223u;
        const int j = static_cast<int>((x >> 8) % static_cast<uint32_t>(i + 1));
        const unsigned char tmp = t.fwd[i];
        t.fwd[i] = t.fwd[j];
        t.fwd[j] = tmp;
    }
    for (int i = 0; i < N; ++i) t.rev[t.fwd[i]] = static_cast<unsigned char>(i);
    return t;
}

constexpr Tables<256> shuffle = makeTables<256>(0x5A17C0DEu);
constexpr Tables<255> shuffleNZ = makeTables<255>(0x0DDBA11u);

constexpr const std::array<unsigned char, 256>& shuffle_fwd = shuffle.fwd;
constexpr const std::array<unsigned char, 256>& shuffle_rev = shuffle.rev;
constexpr const std::array<unsigned char, 255>& shuffle_fwd_NZ = shuffleNZ.fwd;
constexpr const std::array<unsigned char, 255>& shuffle_rev_NZ = shuffleNZ.rev;

}  // namespace

void DumbCrypt::encrypt(char* buf, int len, unsigned int key) {
    for (int i = 0; i < len; ++i) {
        const unsigned int b = static_cast<unsigned char>(buf[i]);
        buf[i] = static_cast<char>(shuffle_fwd[(b + key) & 0xFF]);
    }
}

void DumbCrypt::decrypt(char* buf, int len, unsigned int key) {
    for (int i = 0; i < len; ++i) {
        const unsigned int b = static_cast<unsigned char>(buf[i]);
        buf[i] = static_cast<char>((shuffle_rev[b] - key) & 0xFF);
    }
}

void DumbCrypt::encryptNZ(char* buf, int len, unsigned int key) {
    const unsigned int k = key % 255;
    for (int i = 0; i < len; ++i) {
        const unsigned int b = static_cast<unsigned char>(buf[i]);
        if (b != 0) buf[i] = static_cast<char>(1 + shuffle_fwd_NZ[(b - 1 + k) % 255]);
    }
}

void DumbCrypt::decryptNZ(char* buf, int len, unsigned int key) {
    const unsigned int k = key % 255;
    for (int i = 0; i < len; ++i) {
        const unsigned int b = static_cast<unsigned char>(buf[i]);
        if (b != 0) buf[i] = static_cast<char>(1 + (shuffle_rev_NZ[b - 1] + 255 - k) % 255);
    }
}

}  // namespace Orbanex
