// The block cipher of password-protected files. It works on 64-byte blocks,
// each read as 16 little-endian 32-bit words X[0..15], with a key of the same
// shape K[0..15]:
//
//   encrypt: for i = 0..15:  k = K[i], j = k mod 16, a = X[i], b = X[j]
//              X[j] = ((b & k) | (a & ~k)) + k
//              X[i] = ((a & k) | (b & ~k)) + k
//   decrypt: the same steps undone, for i = 15..0
//
// Key from a password P: byte (i * 17) mod 64 of K, for i = 0..63, is
// (c + i) mod 256, where c runs through P[1], P[2], ..., the terminating
// zero, P[0], P[1], ...; K is then encrypted with itself twice.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vantrose {

inline constexpr size_t kCipherBlockSize = 64;

class BlockCipher {
 public:
  using Words = std::array<uint32_t, 16>;

  // `password` ends at its first zero byte and must not be empty.
  explicit BlockCipher(std::string_view password);

  const Words& key() const { return key_; }

  // Whole blocks in place; `length` is a multiple of 64.
  void Encrypt(void* data, size_t length) const;
  void Decrypt(void* data, size_t length) const;

  // One block of words. `key` may be the block itself: each step then reads
  // its key word as the block stands at that step.
  static void EncryptWords(const uint32_t* key, uint32_t* block);
  static void DecryptWords(const uint32_t* key, uint32_t* block);

 private:
  Words key_;
};

}  // namespace vantrose
