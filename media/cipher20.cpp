#include "media/cipher20.h"

#include <cstring>

#include "media/crc32.h"

namespace media {

namespace {

constexpr int kRounds = 32;

constexpr std::uint32_t kInitialKeys[4] = {0xD3A3B879u, 0x3F6D12F7u, 0x7515A235u, 0xA4E7F123u};

// The substitution every key schedule starts from (a permutation of 0..255).
constexpr std::uint8_t kInitialSubst[256] = {
    215, 19,  149, 35,  73,  197, 192, 205, 249, 28,  16,  119, 48,  221, 2,   42,  232, 1,   177,
    233, 14,  88,  219, 25,  223, 195, 244, 90,  87,  239, 153, 137, 255, 199, 147, 70,  92,  66,
    246, 13,  216, 40,  62,  29,  217, 230, 86,  6,   71,  24,  171, 196, 101, 113, 218, 123, 93,
    91,  163, 178, 202, 67,  44,  235, 107, 250, 75,  234, 49,  167, 125, 211, 83,  114, 157, 144,
    32,  193, 143, 36,  158, 124, 247, 187, 89,  214, 141, 47,  121, 228, 61,  130, 213, 194, 174,
    251, 97,  110, 54,  229, 115, 57,  152, 94,  105, 243, 212, 55,  209, 245, 63,  11,  164, 200,
    31,  156, 81,  176, 227, 21,  76,  99,  139, 188, 127, 17,  248, 51,  207, 120, 189, 210, 8,
    226, 41,  72,  183, 203, 135, 165, 166, 60,  98,  7,   122, 38,  155, 170, 69,  172, 252, 238,
    39,  134, 59,  128, 236, 27,  240, 80,  131, 3,   85,  206, 145, 79,  154, 142, 159, 220, 201,
    133, 74,  64,  20,  129, 224, 185, 138, 103, 173, 182, 43,  34,  254, 82,  198, 151, 231, 180,
    58,  10,  118, 26,  102, 12,  50,  132, 22,  191, 136, 111, 162, 179, 45,  4,   148, 108, 161,
    56,  78,  126, 242, 222, 15,  175, 146, 23,  33,  241, 181, 190, 77,  225, 0,   46,  169, 186,
    68,  95,  237, 65,  53,  208, 253, 168, 9,   18,  100, 52,  116, 184, 160, 96,  109, 37,  30,
    106, 140, 104, 150, 5,   204, 117, 112, 84};

constexpr std::uint32_t Rol(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

std::uint32_t Load32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

void Store32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    p[2] = std::uint8_t(v >> 16);
    p[3] = std::uint8_t(v >> 24);
}

const auto& CrcTable() { return crc32_detail::kTables[0]; }

}  // namespace

std::uint32_t Cipher20::Subst(std::uint32_t t) const {
    return std::uint32_t(subst_[t & 0xFF]) | std::uint32_t(subst_[(t >> 8) & 0xFF]) << 8 |
           std::uint32_t(subst_[(t >> 16) & 0xFF]) << 16 | std::uint32_t(subst_[t >> 24]) << 24;
}

void Cipher20::UpdateKeys(const std::uint8_t* block) {
    const auto& crc = CrcTable();
    for (std::size_t i = 0; i < kBlockSize; i += 4) {
        key_[0] ^= crc[block[i]];
        key_[1] ^= crc[block[i + 1]];
        key_[2] ^= crc[block[i + 2]];
        key_[3] ^= crc[block[i + 3]];
    }
}

bool Cipher20::SetKey(std::string_view password) {
    if (password.size() > kMaxPassword) return false;
    // Padded with zeros to whole blocks; odd lengths read the first pad byte as the pair's second.
    std::uint8_t psw[kMaxPassword + 1 + kBlockSize] = {};
    std::memcpy(psw, password.data(), password.size());
    const std::size_t length = password.size();

    std::memcpy(key_, kInitialKeys, sizeof key_);
    std::memcpy(subst_, kInitialSubst, sizeof subst_);
    const auto& crc = CrcTable();
    for (unsigned j = 0; j < 256; ++j) {
        for (std::size_t i = 0; i < length; i += 2) {
            const std::uint8_t n2 = std::uint8_t(crc[(psw[i + 1] + j) & 0xFF]);
            std::uint8_t n1 = std::uint8_t(crc[(psw[i] - j) & 0xFF]);
            for (unsigned k = 1; n1 != n2; ++n1, ++k) {
                const std::uint8_t other = std::uint8_t((n1 + i + k) & 0xFF);
                const std::uint8_t t = subst_[n1];
                subst_[n1] = subst_[other];
                subst_[other] = t;
            }
        }
    }
    // Running the password through the cipher mixes it into the keys.
    for (std::size_t i = 0; i < length; i += kBlockSize) EncryptBlock(psw + i);
    volatile std::uint8_t* wipe = psw;
    for (std::size_t i = 0; i < sizeof psw; ++i) wipe[i] = 0;
    return true;
}

void Cipher20::EncryptBlock(std::uint8_t* buf) {
    std::uint32_t a = Load32(buf) ^ key_[0], b = Load32(buf + 4) ^ key_[1],
                  c = Load32(buf + 8) ^ key_[2], d = Load32(buf + 12) ^ key_[3];
    for (int i = 0; i < kRounds; ++i) {
        const std::uint32_t k = key_[i & 3];
        const std::uint32_t ta = a ^ Subst((c + Rol(d, 11)) ^ k);
        const std::uint32_t tb = b ^ Subst((d ^ Rol(c, 17)) + k);
        a = c;
        b = d;
        c = ta;
        d = tb;
    }
    Store32(buf, c ^ key_[0]);
    Store32(buf + 4, d ^ key_[1]);
    Store32(buf + 8, a ^ key_[2]);
    Store32(buf + 12, b ^ key_[3]);
    UpdateKeys(buf);
}

void Cipher20::DecryptBlock(std::uint8_t* buf) {
    std::uint8_t in[kBlockSize];
    std::memcpy(in, buf, kBlockSize);
    std::uint32_t a = Load32(buf) ^ key_[0], b = Load32(buf + 4) ^ key_[1],
                  c = Load32(buf + 8) ^ key_[2], d = Load32(buf + 12) ^ key_[3];
    for (int i = kRounds - 1; i >= 0; --i) {
        const std::uint32_t k = key_[i & 3];
        const std::uint32_t ta = a ^ Subst((c + Rol(d, 11)) ^ k);
        const std::uint32_t tb = b ^ Subst((d ^ Rol(c, 17)) + k);
        a = c;
        b = d;
        c = ta;
        d = tb;
    }
    Store32(buf, c ^ key_[0]);
    Store32(buf + 4, d ^ key_[1]);
    Store32(buf + 8, a ^ key_[2]);
    Store32(buf + 12, b ^ key_[3]);
    UpdateKeys(in);
}

void Cipher20::Decrypt(std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + kBlockSize <= size; i += kBlockSize) DecryptBlock(data + i);
}

void Cipher20::Encrypt(std::uint8_t* data, std::size_t size) {
    for (std::size_t i = 0; i + kBlockSize <= size; i += kBlockSize) EncryptBlock(data + i);
}

void Cipher20::Wipe() {
    volatile std::uint32_t* k = key_;
    for (int i = 0; i < 4; ++i) k[i] = 0;
    volatile std::uint8_t* s = subst_;
    for (int i = 0; i < 256; ++i) s[i] = 0;
}

}  // namespace media
