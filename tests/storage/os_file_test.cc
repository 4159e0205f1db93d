#include "engine/storage/os_file.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

#include "platform/fault_injection.h"
#include "platform/os_error.h"
#include "tests/storage/os_file_test_support.h"

namespace vantrose {
namespace {

using testing::CorruptionCode;
using testing::ReadBytes;
using testing::ScratchDir;
using testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kReadWriteDenyWrite = OPEN_READ_WRITE | OPEN_DENY_WRITE;  // 0x22
constexpr uint32_t kReadWriteShared = OPEN_READ_WRITE | OPEN_DENY_NONE;      // 0x42

// A forked process that runs `body` and talks to the parent one byte at a
// time. The child ends with body's result as its exit status.
class ChildProcess {
 public:
  explicit ChildProcess(const std::function<int(ChildProcess&)>& body) {
    if (pipe(to_child_) != 0 || pipe(to_parent_) != 0) std::abort();
    pid_ = fork();
    if (pid_ == 0) {
      close(to_child_[1]);
      close(to_parent_[0]);
      in_ = to_child_[0];
      out_ = to_parent_[1];
      _exit(body(*this));
    }
    close(to_child_[0]);
    close(to_parent_[1]);
    in_ = to_parent_[0];
    out_ = to_child_[1];
  }
  ~ChildProcess() {
    if (pid_ > 0) Wait();
    close(in_);
    close(out_);
  }
  void Send(char c) { (void)!write(out_, &c, 1); }
  char Receive() {
    char c = 0;
    return read(in_, &c, 1) == 1 ? c : '\0';
  }
  // The child's exit status.
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 255;
  }

 private:
  int to_child_[2];
  int to_parent_[2];
  int in_ = -1;
  int out_ = -1;
  pid_t pid_ = -1;
};

class OsFileTest : public ::testing::Test {
 protected:
  std::string CreateFile(const std::string& name, size_t size = 0) {
    std::string path = dir_.File(name);
    WriteBytes(path, Bytes(size, 0x5A));
    return path;
  }
  ScratchDir dir_;
};

TEST_F(OsFileTest, OpenPathsAndTheirErrors) {
  OsFile file;
  EXPECT_EQ(OsOpen(file, dir_.File("missing.vnt"), OPEN_READ_WRITE, ""), 2);
  EXPECT_EQ(LastOsErrorNumber(), 2);
  OsClose(file);
  EXPECT_EQ(LastOsErrorNumber(), 0);  // close clears the last error
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(OsOpen(file, dir_.File("no-dir/x.vnt"), OPEN_READ_WRITE, ""), 3);
  EXPECT_EQ(file.name(), dir_.File("no-dir/x.vnt"));  // kept when the open fails
  EXPECT_EQ(OsOpen(file, dir_.File("no-dir/x.vnt"), OPEN_PRIVATE_CREATE | OPEN_READ_WRITE, ""), 3);

  std::string created = dir_.File("created.vnt");
  ASSERT_EQ(OsOpen(file, created, OPEN_PRIVATE_CREATE | OPEN_READ_WRITE, ""), 0);
  EXPECT_TRUE(file.is_open());
  EXPECT_EQ(std::filesystem::file_size(created), 0u);
  OsClose(file);
  EXPECT_TRUE(file.name().empty());

  // Reopening through the private path keeps what the file holds.
  WriteBytes(created, Bytes(128, 7));
  ASSERT_EQ(OsOpen(file, created, OPEN_PRIVATE_CREATE | OPEN_READ_WRITE, ""), 0);
  EXPECT_EQ(std::filesystem::file_size(created), 128u);
}

TEST_F(OsFileTest, OpenErrorsTakeTheEngineNumbers) {
  std::filesystem::create_symlink(dir_.File("loop-b"), dir_.File("loop-a"));
  std::filesystem::create_symlink(dir_.File("loop-a"), dir_.File("loop-b"));
  const std::string long_name = dir_.File(std::string(300, 'n') + ".vnt");
  struct Case {
    const char* name;
    std::string path;
    uint32_t mode;
    int32_t expected;
  };
  const Case cases[] = {
      {"bad path name", dir_.File("loop-a"), OPEN_READ_WRITE, 3},
      {"bad path name, private open", dir_.File("loop-a"), OPEN_PRIVATE_CREATE | OPEN_READ_WRITE, 161},
      {"name too long", long_name, OPEN_READ_WRITE, 45},
      {"name too long, private open", long_name, OPEN_PRIVATE_CREATE | OPEN_READ_WRITE, 123},
      {"a directory", dir_.File(""), OPEN_READ_WRITE, 5},
  };
  for (const Case& c : cases) {
    OsFile file;
    EXPECT_EQ(OsOpen(file, c.path, c.mode, ""), c.expected) << c.name;
  }
}

// Sharing between two handles of this process behaves as between processes.
TEST_F(OsFileTest, SharingMatrixBetweenHandles) {
  struct Case {
    uint32_t first;
    uint32_t second;
    int32_t expected;
  };
  const Case cases[] = {
      {kReadWriteDenyWrite, OPEN_READ_ONLY | OPEN_DENY_NONE, 0},
      {kReadWriteDenyWrite, kReadWriteShared, 5},
      {kReadWriteDenyWrite, OPEN_READ_ONLY | OPEN_DENY_WRITE, 5},
      {OPEN_READ_ONLY | OPEN_DENY_WRITE, OPEN_READ_ONLY | OPEN_DENY_WRITE, 0},
      {kReadWriteShared, kReadWriteShared, 0},
      {kReadWriteShared, OPEN_READ_ONLY | OPEN_DENY_WRITE, 5},
      {OPEN_READ_WRITE | OPEN_DENY_ALL, OPEN_READ_ONLY | OPEN_DENY_NONE, 5},
      {OPEN_READ_ONLY | OPEN_DENY_NONE, OPEN_READ_ONLY | OPEN_DENY_ALL, 5},
      {OPEN_READ_ONLY | OPEN_DENY_READ, OPEN_READ_ONLY | OPEN_DENY_NONE, 5},
      {OPEN_WRITE_ONLY | OPEN_DENY_READ, OPEN_WRITE_ONLY | OPEN_DENY_NONE, 0},
      {OPEN_READ_WRITE | OPEN_COMPATIBILITY, kReadWriteShared, 0},
      {OPEN_PRIVATE_CREATE | OPEN_READ_WRITE | OPEN_DENY_NONE, kReadWriteDenyWrite, 5},
      {OPEN_PRIVATE_CREATE | OPEN_READ_WRITE | OPEN_DENY_WRITE, OPEN_READ_ONLY | OPEN_DENY_NONE, 0},
  };
  std::string path = CreateFile("shared.vnt", 512);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.first << " then " << c.second);
    OsFile first;
    OsFile second;
    ASSERT_EQ(OsOpen(first, path, c.first, ""), 0);
    EXPECT_EQ(OsOpen(second, path, c.second, ""), c.expected);
    // Closing the first handle lifts its sharing.
    OsClose(first);
    EXPECT_EQ(OsOpen(second, path, c.second, ""), 0);
  }
}

TEST_F(OsFileTest, SharingIsEnforcedBetweenProcesses) {
  std::string path = CreateFile("converter.crz", 512);
  OsFile holder;
  ASSERT_EQ(OsOpen(holder, path, kReadWriteDenyWrite, ""), 0);
  for (auto [mode, expected] : {std::pair<uint32_t, int32_t>{OPEN_READ_ONLY | OPEN_DENY_NONE, 0},
                                {kReadWriteShared, 5},
                                {OPEN_READ_ONLY | OPEN_DENY_WRITE, 5}}) {
    ChildProcess child([&, mode = mode](ChildProcess&) {
      OsFile other;
      return OsOpen(other, path, mode, "");
    });
    EXPECT_EQ(child.Wait(), expected) << std::hex << mode;
  }
}

TEST_F(OsFileTest, TransferRulesAndTheirReports) {
  std::string path = CreateFile("blocks.vnt");
  OsFile file;
  Bytes buffer(256, 0x11);
  // Length checks come first, even on a closed file.
  EXPECT_EQ(CorruptionCode([&] { OsWrite(file, 0, buffer.data(), 100); }), 2286u);
  EXPECT_EQ(CorruptionCode([&] { OsRead(file, 0, buffer.data(), 100); }), 2272u);
  EXPECT_EQ(OsRead(file, 0, buffer.data(), 256), 0u);  // closed: nothing read

  ASSERT_EQ(OsOpen(file, path, kReadWriteShared, ""), 0);
  EXPECT_EQ(CorruptionCode([&] { OsWrite(file, 0, buffer.data(), 100); }), 2286u);
  EXPECT_EQ(OsRead(file, 0, buffer.data(), 0), 0u);
  OsWrite(file, 64, buffer.data(), 192);
  EXPECT_EQ(file.write_error(), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 256u);

  Bytes back(512);
  EXPECT_EQ(OsRead(file, 0, back.data(), 512), 256u);  // short at the end: no error
  EXPECT_EQ(Bytes(back.begin() + 64, back.begin() + 256), Bytes(192, 0x11));
  EXPECT_EQ(CorruptionCode([&] { OsReadExact(file, 0, back.data(), 512); }), 2172u);
  EXPECT_EQ(CorruptionCode([&] { OsReadExact(file, 0, back.data(), 256); }), 0u);

  OsTruncate(file, 128);
  EXPECT_EQ(std::filesystem::file_size(path), 128u);
  EXPECT_EQ(OsCloseAndDelete(file), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(OsCloseAndDelete(file), 2);  // already gone
}

TEST_F(OsFileTest, FirstWriteErrorIsKeptAndLaterWritesAreSkipped) {
  std::string path = CreateFile("commit.vnt");
  FaultInjectingFileSystem faults;
  ScopedFileSystem use(faults);
  OsFile file;
  ASSERT_EQ(OsOpen(file, path, kReadWriteShared, ""), 0);
  Bytes block(64, 'a');
  faults.FailWrite(2, 112);
  OsWrite(file, 0, block.data(), 64);
  block.assign(64, 'b');
  OsWrite(file, 64, block.data(), 64);  // fails: disk full
  block.assign(64, 'c');
  OsWrite(file, 128, block.data(), 64);  // skipped
  EXPECT_EQ(file.write_error(), 112);
  EXPECT_EQ(faults.writes(), 2);
  EXPECT_EQ(ReadBytes(path), Bytes(64, 'a'));

  file.ClearWriteError();
  OsWrite(file, 64, block.data(), 64);
  EXPECT_EQ(file.write_error(), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 128u);
}

// A disk that takes only half of each write and says so.
class HalfWrites : public FaultInjectingFileSystem {
 public:
  int32_t WriteAt(FileHandle handle, uint64_t offset, const void* buffer, size_t length,
                  size_t* done) override {
    return FaultInjectingFileSystem::WriteAt(handle, offset, buffer, length / 2, done);
  }
};

TEST_F(OsFileTest, ShortWriteSetsTheWriteErrorTo5) {
  std::string path = CreateFile("short.vnt");
  HalfWrites half;
  ScopedFileSystem use(half);
  OsFile file;
  ASSERT_EQ(OsOpen(file, path, kReadWriteShared, ""), 0);
  Bytes block(128, 'a');
  OsWrite(file, 0, block.data(), block.size());
  EXPECT_EQ(file.write_error(), 5);
}

TEST_F(OsFileTest, PasswordEnciphersEveryBlockAndRestoresTheCallersBuffer) {
  std::string path = CreateFile("secret.vnt");
  Bytes plain(512);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 3);
  {
    OsFile file;
    ASSERT_EQ(OsOpen(file, path, kReadWriteShared, "abc"), 0);
    EXPECT_TRUE(file.enciphered());
    Bytes buffer = plain;
    OsWrite(file, 0, buffer.data(), buffer.size());
    EXPECT_EQ(buffer, plain);
  }
  Bytes stored = ReadBytes(path);
  ASSERT_EQ(stored.size(), 512u);
  for (size_t block = 0; block < 512; block += 64) {
    EXPECT_NE(Bytes(stored.begin() + block, stored.begin() + block + 64),
              Bytes(plain.begin() + block, plain.begin() + block + 64));
  }
  Bytes expected = plain;
  BlockCipher("abc").Encrypt(expected.data(), expected.size());
  EXPECT_EQ(stored, expected);

  OsFile reader;
  ASSERT_EQ(OsOpen(reader, path, OPEN_READ_ONLY | OPEN_DENY_NONE, "abc"), 0);
  Bytes back(512);
  ASSERT_EQ(OsRead(reader, 0, back.data(), 512), 512u);
  EXPECT_EQ(back, plain);
  // A short read is left as it came from the disk.
  Bytes longer(1024);
  ASSERT_EQ(OsRead(reader, 0, longer.data(), 1024), 512u);
  EXPECT_EQ(Bytes(longer.begin(), longer.begin() + 512), stored);

  OsFile wrong;
  ASSERT_EQ(OsOpen(wrong, path, OPEN_READ_ONLY | OPEN_DENY_NONE, "abd"), 0);
  ASSERT_EQ(OsRead(wrong, 0, back.data(), 512), 512u);
  EXPECT_NE(back, plain);
}

TEST_F(OsFileTest, LockKindsAndRecordLocks) {
  std::string path = CreateFile("locks.vnt");
  OsFile a;
  OsFile b;
  ASSERT_EQ(OsOpen(a, path, kReadWriteShared, ""), 0);
  ASSERT_EQ(OsOpen(b, path, kReadWriteShared, ""), 0);
  EXPECT_EQ(CorruptionCode([&] { OsLock(a, 5, LOCK_READER, false); }), 2328u);
  EXPECT_EQ(CorruptionCode([&] { OsUnlock(a, 5, LOCK_COMMIT); }), 2352u);

  // A second handle of this process conflicts like another process.
  ASSERT_EQ(OsLock(a, 0, LOCK_WRITER, false), 0);
  EXPECT_EQ(OsLock(a, 0, LOCK_WRITER, false), 0);  // the same handle: no conflict
  EXPECT_EQ(OsLock(b, 0, LOCK_WRITER, false), 33);
  // The writer byte lies outside the commit range.
  EXPECT_EQ(OsLock(b, 0, LOCK_COMMIT, false), 0);
  EXPECT_EQ(OsLock(a, 0, LOCK_COMMIT, false), 33);
  OsUnlock(b, 0, LOCK_COMMIT);
  OsUnlock(a, 0, LOCK_WRITER);
  EXPECT_EQ(OsLock(b, 0, LOCK_WRITER, false), 0);

  ASSERT_EQ(OsLock(a, 7 + 1, LOCK_WRITER, false), 0);
  EXPECT_EQ(OsLock(b, 7 + 1, LOCK_WRITER, false), 33);
  EXPECT_EQ(OsLock(b, 8 + 1, LOCK_WRITER, false), 0);
  OsUnlock(a, 7 + 1, LOCK_WRITER);
  EXPECT_EQ(OsLock(b, 7 + 1, LOCK_WRITER, false), 0);

  OsFile closed;
  EXPECT_EQ(OsLock(closed, 0, LOCK_COMMIT, true), 0);  // a closed file locks nothing
}

TEST_F(OsFileTest, ReaderWhoseSlotIsTakenMovesOnAndKeepsTheNewSlot) {
  std::string path = CreateFile("readers.vnt");
  OsFile reader;
  ASSERT_EQ(OsOpen(reader, path, kReadWriteShared, ""), 0);
  const uint32_t slot = reader.reader_slot();
  // Another process takes this reader's slot and the next one.
  ChildProcess holder([&](ChildProcess& parent) {
    FileSystem& fs = NativeFileSystem();
    FileHandle handle = kNoFile;
    FileOpenRequest request;
    request.write = true;
    if (fs.Open(path, request, &handle) != 0) return 1;
    for (uint32_t n : {slot, (slot + 1) % kReaderSlots}) {
      if (fs.LockRange(handle, kLockAreaBase + n, 1) != 0) return 2;
    }
    parent.Send('L');
    parent.Receive();  // hold until told
    return 0;
  });
  ASSERT_EQ(holder.Receive(), 'L');
  EXPECT_EQ(OsLock(reader, 0, LOCK_READER, false), 33);
  EXPECT_EQ(reader.reader_slot(), (slot + 1) % kReaderSlots);
  EXPECT_EQ(OsLock(reader, 0, LOCK_READER, true), 0);
  const uint32_t kept = (slot + 2) % kReaderSlots;
  EXPECT_EQ(reader.reader_slot(), kept);
  OsUnlock(reader, 0, LOCK_READER);
  holder.Send('x');
  EXPECT_EQ(holder.Wait(), 0);
  // Later accesses use the slot it found, even with the old one free again.
  EXPECT_EQ(OsLock(reader, 0, LOCK_READER, false), 0);
  EXPECT_EQ(reader.reader_slot(), kept);
}

TEST_F(OsFileTest, CommitLockWaitsUntilTheLastReaderEndsItsAccess) {
  std::string path = CreateFile("commit-lock.vnt");
  ChildProcess reader([&](ChildProcess& parent) {
    OsFile mine;
    if (OsOpen(mine, path, kReadWriteShared, "") != 0) return 1;
    if (OsLock(mine, 0, LOCK_READER, true) != 0) return 2;
    parent.Send('R');
    parent.Receive();
    usleep(200 * 1000);  // the access goes on a little after the parent starts waiting
    OsUnlock(mine, 0, LOCK_READER);
    parent.Receive();  // stay alive, so that only the unlock can free the slot
    return 0;
  });
  OsFile committer;
  ASSERT_EQ(OsOpen(committer, path, kReadWriteShared, ""), 0);
  ASSERT_EQ(reader.Receive(), 'R');
  EXPECT_EQ(OsLock(committer, 0, LOCK_COMMIT, false), 33);
  reader.Send('g');
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(OsLock(committer, 0, LOCK_COMMIT, true), 0);
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(150));
  reader.Send('x');
  EXPECT_EQ(reader.Wait(), 0);
}

TEST_F(OsFileTest, WritersOfDifferentProcessesExcludeEachOther) {
  std::string path = CreateFile("writers.vnt");
  ChildProcess writer([&](ChildProcess& parent) {
    OsFile mine;
    if (OsOpen(mine, path, kReadWriteShared, "") != 0) return 1;
    if (OsLock(mine, 0, LOCK_WRITER, false) != 0) return 2;
    parent.Send('W');
    parent.Receive();
    return 0;  // ending the process ends its locks
  });
  OsFile file;
  ASSERT_EQ(OsOpen(file, path, kReadWriteShared, ""), 0);
  ASSERT_EQ(writer.Receive(), 'W');
  EXPECT_EQ(OsLock(file, 0, LOCK_WRITER, false), 33);
  EXPECT_EQ(OsLock(file, 0, LOCK_READER, false), 0);  // readers are not kept out
  writer.Send('x');
  EXPECT_EQ(writer.Wait(), 0);
  EXPECT_EQ(OsLock(file, 0, LOCK_WRITER, false), 0);
}

}  // namespace
}  // namespace vantrose
