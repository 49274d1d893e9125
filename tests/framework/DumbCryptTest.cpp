#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "framework/DumbCrypt.h"
#include "support/Bytes.h"

using Orbanex::DumbCrypt;
using test_support::hex;

namespace {

std::vector<char> allBytes() {
    std::vector<char> b(256);
    for (int i = 0; i < 256; ++i) b[i] = static_cast<char>(i);
    return b;
}

std::vector<char> nonZeroBytes() {
    std::vector<char> b(255);
    for (int i = 0; i < 255; ++i) b[i] = static_cast<char>(i + 1);
    return b;
}

std::string joined(std::initializer_list<const char*> rows) {
    std::string out;
    for (const char* r : rows) out += (out.empty() ? "" : " ") + std::string(r);
    return out;
}

}  // namespace

// Binary log files hold their texts scrambled with these tables: a change here makes every
// stored file unreadable, so the tables are pinned byte for byte.
TEST(DumbCrypt, TablesArePinned) {
    std::vector<char> b = allBytes();
    DumbCrypt::encrypt(b.data(), static_cast<int>(b.size()), 0);
    EXPECT_EQ(hex(b), joined({"9e 96 fe 0b 1c 4c 35 ac 5f b3 59 88 f5 c0 8b 12",
                              "21 81 2b 06 6c 76 73 fb 47 0a 83 79 08 1f 13 52",
                              "a8 5d 95 37 03 f7 28 7a bd b5 ed 42 34 c6 ee 0e",
                              "fc 54 67 2d a3 f4 49 ad f3 18 e5 eb 6b 2c 40 91",
                              "04 8c 89 ea bf e8 01 3a 9b f1 09 3d e6 57 45 c5",
                              "0f 26 d5 5e bc cc de 86 a9 99 55 3f 78 c9 48 c7",
                              "e7 33 7e aa b9 71 da 2e 8d 25 4d c1 7d af 24 20",
                              "cd 9f 9c c4 d6 36 77 3b 07 74 cf 46 62 02 5a 2f",
                              "ba 17 5b 82 7b 56 1e 43 29 41 92 23 f6 b2 1a 61",
                              "e3 64 d7 9d ab 60 d3 e1 69 b8 a6 19 15 dd 70 38",
                              "1d 87 0c 31 db 53 c8 a0 cb 6d 4b a2 00 c2 0d ff",
                              "6a 90 6e 7c df b7 e2 65 fd ae a5 27 3c dc 63 50",
                              "e4 68 f0 ef 85 4f d0 ec 58 5c e0 51 2a b0 80 93",
                              "14 11 16 6f ca 8f 4e d2 3e 1b f2 72 44 98 f9 d9",
                              "75 10 b4 bb 4a a7 ce 22 30 a4 c3 f8 d4 be d1 94",
                              "84 b1 8a b6 fa 05 7f 66 d8 a1 97 39 e9 9a 8e 32"}));

    std::vector<char> nz = nonZeroBytes();
    DumbCrypt::encryptNZ(nz.data(), static_cast<int>(nz.size()), 0);
    EXPECT_EQ(hex(nz), joined({"54 66 a7 23 c8 7b 52 f5 5e 9f 63 d7 b0 03 a2 55",
                               "1c e3 8d cf a9 ab 89 5a 0e 2f 78 8c 0b ba f3 af",
                               "c7 5c c1 43 d5 6b 49 0a 7f b8 bf 2b ff ad 84 16",
                               "d2 3f f9 c2 5b a0 86 f1 56 cb 3a e8 09 db 90 19",
                               "97 e2 80 53 4b 06 e5 77 26 92 85 ec b6 25 8f b1",
                               "b4 71 44 9a 1d 5d 13 aa fa 60 8a 7a 69 42 02 ed",
                               "b2 59 3d 72 d4 79 a8 c4 3b 2e 32 91 e9 6e a5 87",
                               "dc 4d 4e 31 7e c3 74 41 c6 a4 f7 fb 83 dd b5 0f",
                               "6c 1b 9b ac 07 57 2c ee cc 99 93 f8 fc 12 fe fd",
                               "38 65 7c 6a 04 36 d1 e4 3c e0 1f 28 64 29 9c 82",
                               "3e 17 34 df ea 2d 94 eb 75 2a 15 4a d3 22 f4 a1",
                               "01 45 58 5f cd a6 6d 4f e1 d6 27 d9 40 7d ca 05",
                               "81 37 4c f0 96 9d b3 e7 88 bb 30 6f ae 48 8e 0c",
                               "62 e6 c5 70 08 20 d8 0d 35 8b c9 21 c0 47 1a 98",
                               "10 a3 ef 50 51 bd 24 73 33 61 f2 18 d0 46 ce 67",
                               "b7 95 1e 39 14 be 68 bc da 11 f6 9e de b9 76"}));
}

TEST(DumbCrypt, DecryptRestoresEveryByteForEveryKey) {
    for (unsigned key : {0u, 1u, 7u, 255u, 256u, 1000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(key);
        std::vector<char> b = allBytes();
        DumbCrypt::encrypt(b.data(), 256, key);
        EXPECT_NE(b, allBytes());
        DumbCrypt::decrypt(b.data(), 256, key);
        EXPECT_EQ(b, allBytes());

        std::vector<char> z = allBytes();
        DumbCrypt::encryptNZ(z.data(), 256, key);
        EXPECT_EQ(z[0], 0) << "zero stays zero";
        DumbCrypt::decryptNZ(z.data(), 256, key);
        EXPECT_EQ(z, allBytes());
    }
}

TEST(DumbCrypt, ForwardTablesArePermutations) {
    std::vector<char> b = allBytes();
    DumbCrypt::encrypt(b.data(), 256, 0);
    std::vector<bool> seen(256, false);
    for (char c : b) seen[static_cast<unsigned char>(c)] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);

    std::vector<char> nz = nonZeroBytes();
    DumbCrypt::encryptNZ(nz.data(), 255, 0);
    std::vector<bool> seenNZ(256, false);
    for (char c : nz) seenNZ[static_cast<unsigned char>(c)] = true;
    EXPECT_FALSE(seenNZ[0]) << "no non-zero byte becomes zero";
    EXPECT_EQ(std::count(seenNZ.begin(), seenNZ.end(), true), 255);
}

TEST(DumbCrypt, KeyMattersOnlyModuloTheTableSize) {
    std::vector<char> k0 = allBytes(), k256 = allBytes();
    DumbCrypt::encrypt(k0.data(), 256, 0);
    DumbCrypt::encrypt(k256.data(), 256, 256);
    EXPECT_EQ(k0, k256);

    std::vector<char> n0 = allBytes(), n255 = allBytes();
    DumbCrypt::encryptNZ(n0.data(), 256, 0);
    DumbCrypt::encryptNZ(n255.data(), 256, 255);
    EXPECT_EQ(n0, n255);
}

TEST(DumbCrypt, EachByteIsIndependentOfItsPosition) {
    std::string text = "aaaa";
    DumbCrypt::encrypt(&text[0], 4, 0);
    EXPECT_EQ(text, std::string(4, text[0]));
}

TEST(DumbCrypt, NonPositiveLengthLeavesTheBufferAlone) {
    for (int len : {0, -1, -100}) {
        SCOPED_TRACE(len);
        std::string text = "abc";
        DumbCrypt::encrypt(&text[0], len, 3);
        DumbCrypt::decrypt(&text[0], len, 3);
        DumbCrypt::encryptNZ(&text[0], len, 3);
        DumbCrypt::decryptNZ(&text[0], len, 3);
        EXPECT_EQ(text, "abc");
    }
}
