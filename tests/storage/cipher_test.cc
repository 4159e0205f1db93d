#include "engine/storage/cipher.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/storage/byte_order.h"

namespace vantrose {
namespace {

using Words = BlockCipher::Words;

Words Iota() {
  Words x;
  for (uint32_t i = 0; i < 16; ++i) x[i] = 0x1000 * (i + 1) + i;
  return x;
}

TEST(Cipher, KnownAnswersForHandCheckedKeys) {
  // A zero key swaps word 0 with each word in turn: a rotation by one.
  Words zero_key{};
  Words x = Iota();
  BlockCipher::EncryptWords(zero_key.data(), x.data());
  Words rotated;
  rotated[0] = Iota()[15];
  for (int i = 1; i < 16; ++i) rotated[i] = Iota()[i - 1];
  EXPECT_EQ(x, rotated);

  // An all-ones key takes every step to word 15 and adds -1 to both words.
  Words ones;
  ones.fill(0xFFFFFFFFu);
  x = Iota();
  BlockCipher::EncryptWords(ones.data(), x.data());
  Words expected = Iota();
  for (int i = 0; i < 15; ++i) expected[i] -= 1;
  expected[15] -= 16;
  EXPECT_EQ(x, expected);
}

TEST(Cipher, KeyOfAThreeCharacterPasswordTakesBytesFromTheSecondOn) {
  // The bytes run b, c, terminating zero, a, b, c, 0, a, ...: period four.
  const uint8_t cycle[4] = {'b', 'c', 0, 'a'};
  uint8_t raw[64];
  for (unsigned i = 0; i < 64; ++i) raw[(i * 17) % 64] = static_cast<uint8_t>(cycle[i % 4] + i);
  Words key;
  for (int w = 0; w < 16; ++w) key[w] = LoadLE32(raw + 4 * w);
  BlockCipher::EncryptWords(key.data(), key.data());
  BlockCipher::EncryptWords(key.data(), key.data());
  EXPECT_EQ(BlockCipher("abc").key(), key);
  // Bytes after a zero are not part of the password.
  EXPECT_EQ(BlockCipher(std::string_view("abc\0xyz", 7)).key(), key);
}

TEST(Cipher, DecryptUndoesEncryptAndEveryBlockChanges) {
  std::mt19937 random(11);
  for (const char* password : {"a", "abc", "Secret-Password-Longer-Than-Sixty-Four-Bytes-0123456789-abcdefghij"}) {
    SCOPED_TRACE(password);
    BlockCipher cipher(password);
    std::vector<uint8_t> data(64 * 9);
    for (uint8_t& b : data) b = static_cast<uint8_t>(random());
    std::vector<uint8_t> plain = data;
    cipher.Encrypt(data.data(), data.size());
    for (size_t block = 0; block < data.size(); block += 64) {
      EXPECT_NE(std::vector<uint8_t>(data.begin() + block, data.begin() + block + 64),
                std::vector<uint8_t>(plain.begin() + block, plain.begin() + block + 64));
    }
    cipher.Decrypt(data.data(), data.size());
    EXPECT_EQ(data, plain);
  }
}

TEST(Cipher, DifferentPasswordsGiveDifferentKeys) {
  EXPECT_NE(BlockCipher("abc").key(), BlockCipher("abd").key());
  EXPECT_NE(BlockCipher("abc").key(), BlockCipher("bca").key());
}

}  // namespace
}  // namespace vantrose
