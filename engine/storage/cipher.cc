#include "engine/storage/cipher.h"

#include <cstring>

#include "engine/storage/byte_order.h"

namespace vantrose {

BlockCipher::BlockCipher(std::string_view password) {
  password = password.substr(0, password.find('\0'));
  uint8_t key_bytes[kCipherBlockSize];
  // The running byte steps before it is used, wrapping to the first byte
  // after the terminating zero, so the bytes taken are P[1], P[2], ..., 0,
  // P[0], P[1], ...
  size_t at = 0;
  for (unsigned i = 0; i < kCipherBlockSize; ++i) {
    at = at >= password.size() ? 0 : at + 1;
    uint8_t current = at < password.size() ? static_cast<uint8_t>(password[at]) : 0;
    key_bytes[(i * 17) % kCipherBlockSize] = static_cast<uint8_t>(current + i);
  }
  for (size_t w = 0; w < key_.size(); ++w) key_[w] = LoadLE32(key_bytes + 4 * w);
  EncryptWords(key_.data(), key_.data());
  EncryptWords(key_.data(), key_.data());
}

void BlockCipher::EncryptWords(const uint32_t* key, uint32_t* block) {
  for (unsigned i = 0; i < 16; ++i) {
    uint32_t k = key[i];
    unsigned j = k % 16;
    uint32_t a = block[i];
    uint32_t b = block[j];
    block[j] = ((b & k) | (a & ~k)) + k;
    block[i] = ((a & k) | (b & ~k)) + k;
  }
}

void BlockCipher::DecryptWords(const uint32_t* key, uint32_t* block) {
  for (int i = 15; i >= 0; --i) {
    uint32_t k = key[i];
    unsigned j = k % 16;
    uint32_t a = block[i] - k;
    uint32_t b = block[j] - k;
    block[i] = (a & k) | (b & ~k);
    block[j] = (b & k) | (a & ~k);
  }
}

namespace {

// Runs `step` over each 64-byte block of `data` as 16 words in host order.
template <typename Step>
void ForEachBlock(void* data, size_t length, Step step) {
  auto* bytes = static_cast<uint8_t*>(data);
  uint32_t words[16];
  for (size_t offset = 0; offset + kCipherBlockSize <= length; offset += kCipherBlockSize) {
    for (int w = 0; w < 16; ++w) words[w] = LoadLE32(bytes + offset + 4 * w);
    step(words);
    for (int w = 0; w < 16; ++w) StoreLE32(bytes + offset + 4 * w, words[w]);
  }
}

}  // namespace

void BlockCipher::Encrypt(void* data, size_t length) const {
  ForEachBlock(data, length, [this](uint32_t* words) { EncryptWords(key_.data(), words); });
}

void BlockCipher::Decrypt(void* data, size_t length) const {
  ForEachBlock(data, length, [this](uint32_t* words) { DecryptWords(key_.data(), words); });
}

}  // namespace vantrose
