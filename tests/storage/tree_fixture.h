// A store on a scratch file for tests of the page tree, cursors, cache,
// commit and zones, with records keyed by number and the integrity checker
// at hand.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/byte_order.h"
#include "engine/storage/commit.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/integrity_check.h"
#include "engine/storage/page_tree.h"
#include "platform/file_system.h"
#include "tests/storage/os_file_test_support.h"

namespace vantrose::testing {

// Private create, deny none, read and write; and the same denying writes.
inline constexpr uint32_t kSharedMode = OPEN_PRIVATE_CREATE | OPEN_DENY_NONE | OPEN_READ_WRITE;
inline constexpr uint32_t kDenyWriteMode = OPEN_PRIVATE_CREATE | OPEN_DENY_WRITE | OPEN_READ_WRITE;

// A 4-byte big-endian key, so that numeric order is key order.
inline std::vector<uint8_t> Key(uint32_t n) {
  std::vector<uint8_t> key(4);
  StoreBE32(key.data(), n);
  return key;
}

// Record n: its 4-byte key, then `data_length` bytes derived from n and a
// version, so that contents can be checked.
inline RecordNodePtr MakeRecord(uint32_t n, uint32_t data_length, uint8_t version = 0) {
  RecordNodePtr record = RecordNode::New(4, data_length);
  StoreBE32(record->bytes(), n);
  std::span<uint8_t> data = record->mutable_data();
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(n * 7 + i / 64 + version);
  return record;
}

// Record n with data that does not compress: pages of many sizes.
inline RecordNodePtr MakeNoisyRecord(uint32_t n, uint32_t data_length, uint32_t version = 0) {
  RecordNodePtr record = RecordNode::New(4, data_length);
  StoreBE32(record->bytes(), n);
  uint32_t state = n * 2654435761u + version * 40503u + 1;
  for (uint8_t& byte : record->mutable_data()) {
    state = state * 1103515245u + 12345u;
    byte = uint8_t(state >> 23);
  }
  return record;
}

inline bool HasContent(const RecordNode* record, uint32_t n, uint32_t data_length, uint8_t version = 0) {
  if (record == nullptr || record->key_length() != 4 || record->total_length() != 4 + data_length) return false;
  if (LoadBE32(record->bytes()) != n) return false;
  std::span<const uint8_t> data = record->data();
  for (size_t i = 0; i < data.size(); ++i) {
    if (data[i] != uint8_t(n * 7 + i / 64 + version)) return false;
  }
  return true;
}

inline uint32_t KeyNumber(const RecordNode* record) { return LoadBE32(record->bytes()); }

// The native file system without its flushes, for tests of logic that run
// thousands of commits (durability is the business of the crash tests).
class UnflushedFileSystem final : public FileSystem {
 public:
  int32_t Open(const std::string& path, const FileOpenRequest& request, FileHandle* handle) override {
    return base_.Open(path, request, handle);
  }
  int32_t ReadAt(FileHandle handle, uint64_t offset, void* buffer, size_t length, size_t* done) override {
    return base_.ReadAt(handle, offset, buffer, length, done);
  }
  int32_t WriteAt(FileHandle handle, uint64_t offset, const void* buffer, size_t length, size_t* done) override {
    return base_.WriteAt(handle, offset, buffer, length, done);
  }
  int32_t Truncate(FileHandle handle, uint64_t size) override { return base_.Truncate(handle, size); }
  int32_t FileSize(FileHandle handle, uint64_t* size) override { return base_.FileSize(handle, size); }
  int32_t Flush(FileHandle) override { return 0; }
  int32_t Close(FileHandle handle) override { return base_.Close(handle); }
  int32_t Delete(const std::string& path) override { return base_.Delete(path); }
  int32_t LockRange(FileHandle handle, uint64_t offset, uint64_t length) override {
    return base_.LockRange(handle, offset, length);
  }
  int32_t UnlockRange(FileHandle handle, uint64_t offset, uint64_t length) override {
    return base_.UnlockRange(handle, offset, length);
  }

 private:
  FileSystem& base_ = NativeFileSystem();
};

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ReportCorruptionAsUnwind();
    path_ = scratch_.File("store.vnt");
  }
  void TearDown() override {
    if (store_ != nullptr) StoreClose(*store_);
  }

  FileStore& Open(uint32_t mode = kSharedMode, const std::string& password = "") {
    if (store_ != nullptr) StoreClose(*store_);
    store_ = std::make_unique<FileStore>();
    EXPECT_EQ(StoreOpen(*store_, path_, mode, password), 0);
    return *store_;
  }
  FileStore& OpenForWriting(uint32_t mode = kSharedMode) {
    FileStore& store = Open(mode);
    EXPECT_EQ(EnterWriteMode(store), 0);
    return store;
  }
  void Close() {
    if (store_ != nullptr) {
      EXPECT_EQ(StoreClose(*store_), 0);
    }
    store_.reset();
  }
  FileStore& store() { return *store_; }
  // The process dies: nothing more is written, the file is closed (and its
  // locks go with it).
  void Crash() { store_.reset(); }

  // The header at offset 0 as it stands on disk.
  FileHeader HeaderOnDisk() {
    const std::vector<uint8_t> bytes = ReadBytes(path_);
    EXPECT_GE(bytes.size(), kHeaderSize);
    return bytes.size() >= kHeaderSize ? DecodeHeader(bytes.data()) : FileHeader();
  }

  // Every problem the checker finds in the file on disk.
  std::vector<std::string> Problems(bool pending_log_expected = false) {
    return CheckIntegrity(*store_, {pending_log_expected});
  }

  // The keys of every record after the empty one, in order.
  std::vector<uint32_t> AllKeys() {
    std::vector<uint32_t> keys;
    RecordNode* empty = FindExact(*store_, {});
    for (RecordNode* at = empty == nullptr ? nullptr : FindNext(*store_, *empty); at != nullptr;
         at = FindNext(*store_, *at)) {
      keys.push_back(KeyNumber(at));
    }
    return keys;
  }

  // Every record after the empty one: key bytes -> all bytes.
  using Contents = std::map<std::vector<uint8_t>, std::vector<uint8_t>>;
  Contents ReadContents() {
    Contents contents;
    // A file without a tree yet holds nothing (and a reader cannot make one).
    if (StoreSync(*store_, true) == 0 && store_->header.change_count == 0) return contents;
    RecordNode* empty = FindExact(*store_, {});
    for (RecordNode* at = empty == nullptr ? nullptr : FindNext(*store_, *empty); at != nullptr;
         at = FindNext(*store_, *at)) {
      contents.emplace(std::vector<uint8_t>(at->key().begin(), at->key().end()),
                       std::vector<uint8_t>(at->all().begin(), at->all().end()));
    }
    return contents;
  }

  ScratchDir scratch_;
  std::string path_;
  std::unique_ptr<FileStore> store_;
};

}  // namespace vantrose::testing
