// Record holds between processes: HOLD with its wait, PUT and DELETE
// against a record another process holds, and WATCH against a record
// another process changed. The other process is a forked child with its own
// handle on the file, driven step by step through pipes.

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "engine/storage/file_store.h"
#include "engine/storage/os_file.h"
#include "platform/clock.h"
#include "records_fixture.h"

namespace vantrose {
namespace {

class OtherProcess {
 public:
  // Runs `body` in a child; `body` waits for the parent's go-ahead (Wait)
  // and tells the parent it is ready (Tell). A child that ends without
  // telling makes the parent's Wait answer false.
  explicit OtherProcess(std::function<void(OtherProcess&)> body) {
    if (::pipe(to_child_) != 0 || ::pipe(to_parent_) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      Close(to_child_[1]);
      Close(to_parent_[0]);
      body(*this);
      ::_exit(0);
    }
    Close(to_child_[0]);
    Close(to_parent_[1]);
  }
  ~OtherProcess() {
    Close(to_child_[1]);  // a child still waiting reads the end and exits
    int status = 0;
    if (pid_ > 0) ::waitpid(pid_, &status, 0);
    Close(to_parent_[0]);
  }
  void Tell() {
    const char byte = 1;
    if (::write(pid_ == 0 ? to_parent_[1] : to_child_[1], &byte, 1) != 1) std::abort();
  }
  bool Wait() {
    char byte;
    const bool told = ::read(pid_ == 0 ? to_child_[0] : to_parent_[0], &byte, 1) == 1;
    if (!told && pid_ == 0) ::_exit(1);
    return told;
  }

 private:
  static void Close(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  int to_child_[2] = {-1, -1};
  int to_parent_[2] = {-1, -1};
  pid_t pid_ = -1;
};

class RecordsLockTest : public RecordsTest {
 protected:
  void SetUp() override {
    RecordsTest::SetUp();
    Define({{0, {kName}}});
    ASSERT_EQ(Add(Image("a", 1)), 0);
    first_ = state_.current_record;
    ASSERT_EQ(Add(Image("b", 2)), 0);
  }
  // In the child: the record lock of `record` on a handle of its own.
  void HoldInChild(OtherProcess& other, uint32_t record, int32_t hold_ms = -1) {
    OsFile file;
    if (OsOpen(file, path_, 0x42, "") != 0) ::_exit(2);
    if (OsLock(file, record + 1, LOCK_WRITER, false) != 0) ::_exit(3);
    other.Tell();
    if (hold_ms < 0) {
      other.Wait();
    } else {
      WaitMilliseconds(uint32_t(hold_ms));
    }
    OsUnlock(file, record + 1, LOCK_WRITER);
    OsClose(file);
  }
  uint32_t first_ = 0;
};

TEST_F(RecordsLockTest, HoldWaitsForItsLimit) {
  OtherProcess other([&](OtherProcess& self) { HoldInChild(self, first_); });
  ASSERT_TRUE(other.Wait());
  ASSERT_EQ(Run(SetFileOperation), 0);
  ASSERT_EQ(Run(HoldSecondsOperation, 0), 0);
  const uint32_t start = ClockHundredths();
  EXPECT_EQ(Run(NextOperation), kRecordHeld);
  EXPECT_GE(ClockHundredths() - start, 1u);  // until the clock moved on
  EXPECT_EQ(state_.table_flags & (RS_HOLD_NEXT | RS_HELD), 0);
  // Without the request the record reads, unheld.
  ASSERT_EQ(Run(NextOperation), 0);
  EXPECT_EQ(Name(), "a");
  // PUT and DELETE give up at once on a record someone else holds.
  SetBuffer(Image("x", 9));
  EXPECT_EQ(Run(PutOperation), kAccessDenied);
  ASSERT_EQ(Run(GetFilePointerOperation, int32_t(first_)), 0);
  EXPECT_EQ(Run(DeleteOperation), kRecordNotAvailable);
  EXPECT_EQ(Records(), 2u);
  other.Tell();
}

TEST_F(RecordsLockTest, HoldWithoutLimitWaitsUntilTheRecordIsReleased) {
  OtherProcess other([&](OtherProcess& self) { HoldInChild(self, first_, 300); });
  ASSERT_TRUE(other.Wait());
  ASSERT_EQ(Run(HoldOperation), 0);
  const uint32_t start = ClockHundredths();
  ASSERT_EQ(Run(GetFilePointerOperation, int32_t(first_)), 0);
  EXPECT_GE(ClockHundredths() - start, 10u);
  EXPECT_TRUE(state_.table_flags & RS_HELD);
  ASSERT_EQ(Run(ReleaseOperation), 0);
  EXPECT_FALSE(state_.table_flags & RS_HELD);
}

TEST_F(RecordsLockTest, PutAndDeleteReleaseTheirLocks) {
  ASSERT_EQ(Run(HoldOperation), 0);
  ASSERT_EQ(Run(GetFilePointerOperation, int32_t(first_)), 0);
  ASSERT_TRUE(state_.table_flags & RS_HELD);
  SetBuffer(Image("x", 9));
  ASSERT_EQ(Run(PutOperation), 0);
  EXPECT_FALSE(state_.table_flags & RS_HELD);
  {
    // Another process can take the record's lock now (the child exits
    // before its report when it cannot).
    OtherProcess other([&](OtherProcess& self) { HoldInChild(self, first_, 0); });
    ASSERT_TRUE(other.Wait());
  }
  ASSERT_EQ(Run(DeleteOperation), 0);
  OtherProcess other([&](OtherProcess& self) { HoldInChild(self, first_, 0); });
  ASSERT_TRUE(other.Wait());
}

TEST_F(RecordsLockTest, WatchSeesAChangeByAnotherProcess) {
  ASSERT_EQ(Run(WatchOperation), 0);
  ASSERT_EQ(Run(GetFilePointerOperation, int32_t(first_)), 0);
  {
    OtherProcess other([&](OtherProcess& self) {
      FileStore store;
      if (StoreOpen(store, path_, 0x42, "") != 0) ::_exit(2);
      MarkEngineOperationInProgress();
      EnterWriteMode(store);
      uint8_t key[kDataKeyLength];
      DataKey(key, state_.table_number, first_);
      RecordNode* found = FindExact(store, KeyBytes(key, sizeof key));
      Bytes data(found->data().begin(), found->data().end());
      data[0] = 'z';
      Delete(store, found);
      Insert(store, RecordNode::FromBytes(KeyBytes(key, sizeof key), data));
      LeaveWriteMode(store);
      StoreClose(store);
      self.Tell();
    });
    ASSERT_TRUE(other.Wait());
  }
  SetBuffer(Image("y", 5));
  EXPECT_EQ(Run(PutOperation), kRecordChanged);
  EXPECT_EQ(Buffer(), Image("y", 5));
  ASSERT_EQ(Run(GetFilePointerOperation, int32_t(first_)), 0);
  EXPECT_EQ(Name(), "z");
  // Read again without WATCH, the PUT goes through.
  SetBuffer(Image("y", 5));
  EXPECT_EQ(Run(PutOperation), 0);
}

}  // namespace
}  // namespace vantrose
