#include "engine/storage/record_node.h"

#include <algorithm>
#include <new>

#include "engine/storage/corruption.h"

namespace vantrose {

namespace {
// Check code: a record of 15094 bytes or more is created.
constexpr uint32_t kCheckRecordTooLong = 824;

static_assert(sizeof(RecordNode) % alignof(RecordNode) == 0);
}  // namespace

int CompareKeys(KeyBytes a, KeyBytes b) {
  const size_t common = std::min(a.size(), b.size());
  if (common != 0) {
    const int order = std::memcmp(a.data(), b.data(), common);
    if (order != 0) return order;
  }
  return int(a.size()) - int(b.size());
}

void RecordNodeDeleter::operator()(RecordNode* node) const {
  if (node == nullptr) return;
  node->~RecordNode();
  ::operator delete(node);
}

RecordNodePtr RecordNode::New(uint32_t key_length, uint32_t data_length) {
  const uint64_t total = uint64_t(key_length) + data_length;
  if (total > kMaxTotalLength) ReportCorruption(kCheckRecordTooLong);
  void* memory = ::operator new(sizeof(RecordNode) + total);
  RecordNodePtr node(new (memory) RecordNode(uint16_t(total), uint16_t(key_length)));
  std::memset(node->bytes(), 0, total);
  return node;
}

RecordNodePtr RecordNode::FromBytes(KeyBytes key, std::span<const uint8_t> data) {
  if (uint64_t(key.size()) + data.size() > kMaxTotalLength) ReportCorruption(kCheckRecordTooLong);
  void* memory = ::operator new(sizeof(RecordNode) + key.size() + data.size());
  RecordNodePtr node(new (memory) RecordNode(uint16_t(key.size() + data.size()), uint16_t(key.size())));
  if (!key.empty()) std::memcpy(node->bytes(), key.data(), key.size());
  if (!data.empty()) std::memcpy(node->bytes() + key.size(), data.data(), data.size());
  return node;
}

RecordNodePtr RecordNode::KeyCopy(const RecordNode& node) { return FromBytes(node.key()); }

RecordNodePtr RecordNode::FullCopy(const RecordNode& node) {
  RecordNodePtr copy = FromBytes(node.key(), node.data());
  copy->child_page = node.child_page;
  return copy;
}

}  // namespace vantrose
