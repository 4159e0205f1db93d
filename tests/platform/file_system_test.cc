#include "platform/file_system.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/fault_injection.h"
#include "platform/os_error.h"
#include "tests/support/files.h"

namespace vantrose {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(OsErrorMapping, PosixErrorsTakeTheirWindowsNumbers) {
  const std::pair<int, int32_t> cases[] = {
      {ENOENT, 2},   {ENOTDIR, 3},       {EMFILE, 4},   {ENFILE, 4},  {EACCES, 5},
      {EPERM, 5},    {EROFS, 5},         {EAGAIN, 33},  {ENOSPC, 112}, {EDQUOT, 112},
      {ENAMETOOLONG, 123}, {EIO, 1117},  {EEXIST, 80},  {EINVAL, 87},
  };
  for (auto [error, number] : cases) EXPECT_EQ(OsErrorFromErrno(error), number) << error;
  // Anything else is still a failure.
  EXPECT_NE(OsErrorFromErrno(0), 0);
  EXPECT_NE(OsErrorFromErrno(EPROTO), 0);
}

class FileSystemTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return scratch_.File(name); }
  Bytes Contents(const std::string& name) const { return testing::ReadBytes(Path(name)); }
  FileHandle OpenRW(FileSystem& fs, const std::string& name, bool create = true) {
    FileOpenRequest request;
    request.write = true;
    request.create = create;
    FileHandle handle = kNoFile;
    EXPECT_EQ(fs.Open(Path(name), request, &handle), 0);
    return handle;
  }
  void Write(FileSystem& fs, FileHandle handle, uint64_t offset, const Bytes& bytes) {
    size_t done = 0;
    EXPECT_EQ(fs.WriteAt(handle, offset, bytes.data(), bytes.size(), &done), 0);
  }

  testing::ScratchDir scratch_;
  const std::string& dir_ = scratch_.path();
};

TEST_F(FileSystemTest, NativeOpenAccessAndErrors) {
  FileSystem& fs = NativeFileSystem();
  FileHandle handle = kNoFile;
  FileOpenRequest read_only;
  EXPECT_EQ(fs.Open(Path("missing"), read_only, &handle), 2);
  EXPECT_EQ(LastOsErrorNumber(), 2);
  EXPECT_EQ(fs.Open(Path("nowhere/missing"), read_only, &handle), 3);
  EXPECT_EQ(fs.Open(dir_, read_only, &handle), 5);  // a directory is no file
  EXPECT_EQ(handle, kNoFile);

  FileHandle writer = OpenRW(fs, "data");
  Write(fs, writer, 100, Bytes(28, 'w'));
  uint64_t size = 0;
  EXPECT_EQ(fs.FileSize(writer, &size), 0);
  EXPECT_EQ(size, 128u);

  // Access that was not asked for is refused, even on a writable descriptor.
  ASSERT_EQ(fs.Open(Path("data"), read_only, &handle), 0);
  size_t done = 0;
  Bytes block(16, 'x');
  EXPECT_EQ(fs.WriteAt(handle, 0, block.data(), block.size(), &done), 5);
  EXPECT_EQ(fs.Truncate(handle, 0), 5);
  Bytes back(200);
  EXPECT_EQ(fs.ReadAt(handle, 96, back.data(), back.size(), &done), 0);
  EXPECT_EQ(done, 32u);  // up to the end of the file
  EXPECT_EQ(fs.Close(handle), 0);
  EXPECT_EQ(fs.Close(handle), 6);  // no longer open
  EXPECT_EQ(fs.Close(writer), 0);
  EXPECT_EQ(fs.Delete(Path("data")), 0);
  EXPECT_EQ(fs.Delete(Path("data")), 2);
}

TEST_F(FileSystemTest, NativeLocksConflictBetweenHandlesOnly) {
  FileSystem& fs = NativeFileSystem();
  FileHandle a = OpenRW(fs, "locks");
  FileHandle b = OpenRW(fs, "locks");
  const uint64_t far = 0x80000000u;  // beyond the end of the file
  EXPECT_EQ(fs.LockRange(a, far, 1023), 0);
  EXPECT_EQ(fs.LockRange(a, far + 5, 1), 0);  // same handle: no conflict
  EXPECT_EQ(fs.LockRange(b, far + 1022, 1), 33);
  EXPECT_EQ(LastOsErrorNumber(), 33);
  EXPECT_EQ(fs.LockRange(b, far + 1023, 1), 0);
  EXPECT_EQ(fs.UnlockRange(a, far, 1023), 0);
  EXPECT_EQ(fs.LockRange(b, far + 1022, 1), 0);
  // Closing a handle ends its locks.
  EXPECT_EQ(fs.LockRange(a, far + 2000, 1), 0);
  EXPECT_EQ(fs.Close(a), 0);
  EXPECT_EQ(fs.LockRange(b, far + 2000, 1), 0);
  EXPECT_EQ(fs.Close(b), 0);
}

TEST_F(FileSystemTest, FailsTheChosenWriteAndFlush) {
  FaultInjectingFileSystem faults;
  FileHandle handle = OpenRW(faults, "faults");
  faults.FailWrite(2, 112);
  faults.FailFlush(1, 1117);
  Write(faults, handle, 0, Bytes(64, 'a'));
  size_t done = 0;
  Bytes b(64, 'b');
  EXPECT_EQ(faults.WriteAt(handle, 64, b.data(), b.size(), &done), 112);
  EXPECT_EQ(faults.Flush(handle), 1117);
  Write(faults, handle, 64, Bytes(64, 'c'));  // later writes succeed again
  EXPECT_EQ(faults.Flush(handle), 0);
  EXPECT_EQ(faults.writes(), 3);
  EXPECT_EQ(faults.flushes(), 2);
  Bytes expected(64, 'a');
  expected.insert(expected.end(), 64, 'c');
  EXPECT_EQ(Contents("faults"), expected);
  EXPECT_EQ(faults.Close(handle), 0);
}

TEST_F(FileSystemTest, PowerCutDropsLaterWritesAndTearsTheOneInFlight) {
  FaultInjectingFileSystem faults;
  FileHandle handle = OpenRW(faults, "cut");
  faults.CutPowerAfterWrites(1, 1);
  Write(faults, handle, 0, Bytes(512, 'a'));   // lands
  Write(faults, handle, 512, Bytes(768, 'b'));  // only its first 256 bytes land
  EXPECT_TRUE(faults.power_off());
  Write(faults, handle, 0, Bytes(512, 'c'));   // acknowledged, dropped
  EXPECT_EQ(faults.Truncate(handle, 0), 0);    // dropped as well
  EXPECT_EQ(faults.Flush(handle), 0);
  Bytes expected(512, 'a');
  expected.insert(expected.end(), 256, 'b');
  EXPECT_EQ(Contents("cut"), expected);

  faults.Reset();
  EXPECT_FALSE(faults.power_off());
  Write(faults, handle, 0, Bytes(64, 'd'));
  EXPECT_EQ(Contents("cut")[0], 'd');
  EXPECT_EQ(faults.Close(handle), 0);
}

TEST_F(FileSystemTest, LosingUnflushedWritesRestoresTheLastFlushedState) {
  FaultInjectingFileSystem faults;
  FileHandle handle = OpenRW(faults, "crash");
  Write(faults, handle, 0, Bytes(1024, 'a'));
  EXPECT_EQ(faults.Flush(handle), 0);
  const Bytes flushed = Contents("crash");

  // Overwrite, grow, cut and overwrite again: none of it is flushed.
  Write(faults, handle, 256, Bytes(256, 'b'));
  Write(faults, handle, 1024, Bytes(2048, 'c'));
  EXPECT_EQ(faults.Truncate(handle, 300), 0);
  Write(faults, handle, 0, Bytes(64, 'd'));
  ASSERT_NE(Contents("crash"), flushed);

  faults.LoseUnflushedWrites();
  EXPECT_EQ(Contents("crash"), flushed);
  EXPECT_TRUE(faults.power_off());
  EXPECT_EQ(faults.Close(handle), 0);

  // Files closed before the crash are restored too.
  faults.Reset();
  handle = OpenRW(faults, "closed");
  Write(faults, handle, 0, Bytes(256, 'e'));
  EXPECT_EQ(faults.Close(handle), 0);
  faults.LoseUnflushedWrites();
  EXPECT_TRUE(Contents("closed").empty());
}

TEST(Clock, CountsHundredthsAndWaits) {
  uint32_t before = ClockHundredths();
  auto start = std::chrono::steady_clock::now();
  WaitMilliseconds(50);
  auto waited = std::chrono::steady_clock::now() - start;
  uint32_t after = ClockHundredths();
  EXPECT_GE(waited, std::chrono::milliseconds(50));
  EXPECT_GE(after - before, 4u);
  EXPECT_LE(after - before, 100u);
}

}  // namespace
}  // namespace vantrose
