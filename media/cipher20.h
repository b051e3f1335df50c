// The block cipher of encrypted version-2.0 archive entries: 16-byte blocks, a 32-round Feistel
// network over four 32-bit words with a password-keyed byte substitution, and keys that change
// with every block's ciphertext (so blocks must be processed in stream order).
//
// Limits: the password is taken as raw bytes, at most kMaxPassword of them; a key schedule is
// per entry (call SetKey before each encrypted entry).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace media {

class Cipher20 {
public:
    static constexpr std::size_t kBlockSize = 16;
    static constexpr std::size_t kMaxPassword = 255;

    // Returns false (and keys nothing) for a password longer than kMaxPassword.
    bool SetKey(std::string_view password);
    void DecryptBlock(std::uint8_t* block);
    void EncryptBlock(std::uint8_t* block);
    // Whole blocks in place; a trailing partial block is left as it is.
    void Decrypt(std::uint8_t* data, std::size_t size);
    void Encrypt(std::uint8_t* data, std::size_t size);
    // Overwrites the key material.
    void Wipe();

private:
    std::uint32_t Subst(std::uint32_t t) const;
    void UpdateKeys(const std::uint8_t* cipherBlock);

    std::uint32_t key_[4] = {};
    std::uint8_t subst_[256] = {};
};

}  // namespace media
