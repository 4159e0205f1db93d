// The commit step after each operation: at once without STREAM; under STREAM
// after 40 changed pages or 5000 put-off operations, and at FLUSH.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "engine/storage/file_store.h"
#include "records_fixture.h"

namespace vantrose {
namespace {

class CommitPolicyTest : public RecordsTest {
 protected:
  void SetUp() override {
    RecordsTest::SetUp();
    Define({});
  }
  // Marks `pages` more pages changed: each a record big enough for a page
  // of its own.
  void ChangePages(uint32_t pages) {
    ASSERT_EQ(EnterWriteMode(store_), 0);
    const uint32_t target = store_.cache.changed_count() + pages;
    while (store_.cache.changed_count() < target) {
      uint8_t key[8] = {0xF0, 0, 0, 0, 0, 0, 0, 0};
      StoreBE32(key + 4, next_key_++);
      Bytes data(12000, 0x5A);
      Insert(store_, RecordNode::FromBytes(KeyBytes(key, sizeof key), data));
    }
  }
  uint32_t next_key_ = 1;
};

TEST_F(CommitPolicyTest, WithoutStreamEveryOperationCommits) {
  ChangePages(1);
  EXPECT_EQ(EndOperation(state_, 0), 0);
  EXPECT_EQ(store_.cache.changed_count(), 0u);
  EXPECT_EQ(store_.reader_mode, LOCK_READER);
}

TEST_F(CommitPolicyTest, StreamCommitsAtTheFortiethChangedPage) {
  state_.flags |= FS_STREAMING;
  ChangePages(39);
  ASSERT_EQ(store_.cache.changed_count(), 39u);
  EXPECT_EQ(EndOperation(state_, 0), 0);
  EXPECT_EQ(store_.cache.changed_count(), 39u);  // put off
  ChangePages(1);
  EXPECT_EQ(EndOperation(state_, 0), 0);
  EXPECT_EQ(store_.cache.changed_count(), 0u);
  EXPECT_EQ(state_.commit_deferral, 0u);
}

TEST_F(CommitPolicyTest, StreamCommitsAfterFiveThousandOperations) {
  state_.flags |= FS_STREAMING;
  ChangePages(1);
  for (uint32_t i = 0; i < kStreamOperationLimit; ++i) ASSERT_EQ(EndOperation(state_, 0), 0);
  EXPECT_EQ(store_.cache.changed_count(), 1u);
  EXPECT_EQ(state_.commit_deferral, kStreamOperationLimit);
  EXPECT_EQ(Run(RecordsFileOperation), 0);  // the next one commits
  EXPECT_EQ(store_.cache.changed_count(), 0u);
  EXPECT_EQ(state_.commit_deferral, 0u);
}

TEST_F(CommitPolicyTest, FlushCommitsAtOnce) {
  state_.flags |= FS_STREAMING;
  ChangePages(2);
  ASSERT_EQ(EndOperation(state_, 0), 0);
  ASSERT_GE(store_.cache.changed_count(), 2u);
  ASSERT_EQ(Run(FlushOperation), 0);
  EXPECT_EQ(store_.cache.changed_count(), 0u);
  EXPECT_EQ(store_.reader_mode, LOCK_READER);
}

TEST_F(CommitPolicyTest, NothingIsCommittedDuringABuildEvent) {
  state_.flags |= FS_IN_BUILD_EVENT;
  ChangePages(45);
  EXPECT_EQ(EndOperation(state_, 0), 0);
  EXPECT_EQ(store_.cache.changed_count(), 45u);
  state_.flags &= ~FS_IN_BUILD_EVENT;
  EXPECT_EQ(EndOperation(state_, 0), 0);
  EXPECT_EQ(store_.cache.changed_count(), 0u);
}

// The bulk load of the converter: APPEND of catalogue-sized records under
// STREAM, with 22 keys that it must not touch. Prints the rate; a long run
// only with VANTROSE_SOAK=1.
class AppendRateTest : public RecordsTest {};

TEST_F(AppendRateTest, CatalogueRecordsUnderStream) {
  std::vector<KeySpec> keys;
  for (int i = 0; i < 22; ++i) keys.push_back({uint8_t(i % 2 ? KEY_DUP : 0), {i % 4}});
  Define(keys, {}, false, 9301);
  state_.flags |= FS_STREAMING;
  const int count = std::getenv("VANTROSE_SOAK") ? 100000 : 1000;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    std::memcpy(buffer_.data() + 8, &i, 4);
    buffer_[100 + i % 9000] = uint8_t(i);
    ASSERT_EQ(Run(AppendOperation), 0);
  }
  ASSERT_EQ(Run(FlushOperation), 0);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("APPEND of %d records of 9301 bytes: %.0f records per second\n", count, count / seconds);
  EXPECT_EQ(Records(), uint32_t(count));
  EXPECT_TRUE(StoredOfKind(0).empty());
}

}  // namespace
}  // namespace vantrose
