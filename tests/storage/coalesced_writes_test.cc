// Coalesced writes: runs of neighbouring writes become one write of the
// file, with the same bytes at the same places.
#include "engine/storage/coalesced_writes.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/storage/os_file.h"
#include "platform/fault_injection.h"
#include "tests/support/files.h"

namespace vantrose::testing {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kReadWriteShared = OPEN_READ_WRITE | OPEN_DENY_NONE;

// An empty file opened through a file system that counts and fails writes.
class CoalescedWritesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("coalesced.vnt");
    WriteBytes(path_, {});
    ASSERT_EQ(OsOpen(file_, path_, kReadWriteShared, ""), 0);
  }

  ScratchDir dir_;
  std::string path_;
  FaultInjectingFileSystem faults_;
  ScopedFileSystem use_{faults_};
  OsFile file_;
};

TEST_F(CoalescedWritesTest, NeighbouringWritesGoOutTogetherAndGapsSplitThem) {
  const Bytes a(128, 'a'), b(64, 'b'), c(64, 'c');
  CoalescedWrites writes(file_);
  writes.Write(0, a.data(), a.size());
  writes.Write(128, b.data(), b.size());  // continues the run
  EXPECT_EQ(faults_.writes(), 0);          // nothing before a flush or a gap
  writes.Write(320, c.data(), c.size());  // a gap: the run of 192 bytes goes
  EXPECT_EQ(faults_.writes(), 1);
  writes.Flush();
  EXPECT_EQ(faults_.writes(), 2);
  writes.Flush();  // nothing pending
  EXPECT_EQ(faults_.writes(), 2);

  Bytes expected(384, 0);
  std::copy(a.begin(), a.end(), expected.begin());
  std::copy(b.begin(), b.end(), expected.begin() + 128);
  std::copy(c.begin(), c.end(), expected.begin() + 320);
  EXPECT_EQ(ReadBytes(path_), expected);
}

TEST_F(CoalescedWritesTest, ARunStopsAtTheLimitAndAFailureIsTheFilesWriteError) {
  const Bytes block(CoalescedWrites::kRunLimit / 4, 'x');
  CoalescedWrites writes(file_);
  for (uint64_t i = 0; i < 5; ++i) writes.Write(i * block.size(), block.data(), block.size());
  EXPECT_EQ(faults_.writes(), 1);  // the first four blocks fill one run
  faults_.FailWrite(1, 112);
  writes.Flush();
  EXPECT_EQ(file_.write_error(), 112);
}

}  // namespace
}  // namespace vantrose::testing
