// RecordNode: one stored record in memory, and CompareKeys, the one order of
// all stored records of a file.
//
// A stored record is L bytes (0 <= L <= 15093) of which the first K are its
// key:
//
//   +-------------------+---------------------+
//   | key: K bytes      | data: L - K bytes   |
//   +-------------------+---------------------+
//
// Records are ordered by their key bytes only, compared as unsigned bytes; a
// key that is a prefix of another sorts first. Keys are unique within a file.
// The empty record (L = 0, K = 0) sorts before every other record.
//
// A node is also a member of its page's in-page record tree (record_tree.h):
// the link fields below belong to that tree and are meaningful only while the
// node is linked into one. Index entries (records of pages above the leaves)
// carry the number of the child page they lead to.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

namespace vantrose {

class RecordNode;

struct RecordNodeDeleter {
  void operator()(RecordNode* node) const;
};
// Owner of a record that is not (or no longer) in a page tree. Inserting a
// record passes it to the file; the tree frees it when it is deleted.
using RecordNodePtr = std::unique_ptr<RecordNode, RecordNodeDeleter>;

using KeyBytes = std::span<const uint8_t>;

// Negative when a sorts before b, 0 when the keys are equal, positive after.
// Only key bytes take part; the data bytes never do.
int CompareKeys(KeyBytes a, KeyBytes b);

class RecordNode {
 public:
  // Longest record that can be created; a longer one is report 824.
  static constexpr uint32_t kMaxTotalLength = 15093;

  // A record of key_length + data_length bytes, all zero (NewNode).
  static RecordNodePtr New(uint32_t key_length, uint32_t data_length);
  // A record of the given key and data bytes.
  static RecordNodePtr FromBytes(KeyBytes key, std::span<const uint8_t> data = {});
  // A new record of the key bytes of `node` only (L = K) (KeyCopy).
  static RecordNodePtr KeyCopy(const RecordNode& node);
  // A new record of all the bytes of `node` (FullCopy).
  static RecordNodePtr FullCopy(const RecordNode& node);

  uint16_t total_length() const { return total_length_; }
  uint16_t key_length() const { return key_length_; }
  uint8_t* bytes() { return reinterpret_cast<uint8_t*>(this + 1); }
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(this + 1); }
  KeyBytes key() const { return {bytes(), key_length_}; }
  std::span<const uint8_t> data() const { return {bytes() + key_length_, size_t(total_length_ - key_length_)}; }
  std::span<uint8_t> mutable_data() { return {bytes() + key_length_, size_t(total_length_ - key_length_)}; }
  std::span<const uint8_t> all() const { return {bytes(), total_length_}; }

  // Index entries: the page the entry leads to. 0 for leaf records.
  int32_t child_page = 0;

  // In-page tree links, kept by RecordTree. size is the number of records in
  // the subtree rooted here; linked is set exactly while the node is in a
  // page's tree.
  RecordNode* left = nullptr;
  RecordNode* right = nullptr;
  RecordNode* parent = nullptr;
  uint32_t size = 1;
  bool linked = false;

 private:
  RecordNode(uint16_t total_length, uint16_t key_length)
      : total_length_(total_length), key_length_(key_length) {}
  friend struct RecordNodeDeleter;

  uint16_t total_length_;
  uint16_t key_length_;
  // The total_length_ record bytes follow the object in the same allocation.
};

inline int CompareKeys(const RecordNode& a, const RecordNode& b) { return CompareKeys(a.key(), b.key()); }

}  // namespace vantrose
