// Real processes: a writer killed with SIGKILL at random moments during a
// long run of commits always leaves a file that opens to a committed state,
// and a reader walking the tree while another process commits sees only
// committed states. VANTROSE_SOAK=1 runs many more trials.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <random>

#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

// Commit i (from 1) inserts batch i, deletes the odd keys of batch i - 2 and
// sets the counter record to i; so the state after commit c is known.
constexpr uint32_t kBatch = 25;
constexpr uint32_t kCounterKey = 0xF0000000;

uint32_t BatchKey(uint32_t batch, uint32_t j) { return batch * 1000 + j; }
uint32_t LengthOf(uint32_t key) { return 100 + key % 7 * 300; }

RecordNodePtr CounterRecord(uint32_t commits) {
  RecordNodePtr record = RecordNode::New(4, 4);
  StoreBE32(record->bytes(), kCounterKey);
  StoreBE32(record->bytes() + 4, commits);
  return record;
}

void CommitNumber(FileStore& store, uint32_t i) {
  for (uint32_t j = 0; j < kBatch; ++j) Insert(store, MakeNoisyRecord(BatchKey(i, j), LengthOf(BatchKey(i, j))));
  if (i > 2) {
    for (uint32_t j = 1; j < kBatch; j += 2) Delete(store, FindExact(store, Key(BatchKey(i - 2, j))));
  }
  Delete(store, FindExact(store, Key(kCounterKey)));
  Insert(store, CounterRecord(i));
}

// Empty when the file holds exactly the state after some commit c (c = 0:
// no counter yet, no records); else what is wrong.
std::string CheckCommittedState(FileStore& store) {
  if (StoreSync(store, true) != 0) return "sync failed";
  if (store.header.change_count == 0) return "";
  RecordNode* counter = FindExact(store, Key(kCounterKey));
  const uint32_t commits = counter == nullptr ? 0 : LoadBE32(counter->bytes() + 4);
  std::vector<uint32_t> expected;
  for (uint32_t i = 1; i <= commits; ++i) {
    for (uint32_t j = 0; j < kBatch; ++j) {
      if (i + 2 <= commits && j % 2 == 1) continue;
      expected.push_back(BatchKey(i, j));
    }
  }
  size_t index = 0;
  for (RecordNode* at = FindNext(store, *FindExact(store, {})); at != nullptr; at = FindNext(store, *at)) {
    const uint32_t key = KeyNumber(at);
    if (key == kCounterKey) continue;
    if (index >= expected.size() || key != expected[index]) {
      return "after commit " + std::to_string(commits) + " found record " + std::to_string(key);
    }
    RecordNodePtr want = MakeNoisyRecord(key, LengthOf(key));
    if (!std::equal(at->all().begin(), at->all().end(), want->all().begin(), want->all().end())) {
      return "record " + std::to_string(key) + " has other bytes";
    }
    ++index;
  }
  if (index != expected.size()) return "after commit " + std::to_string(commits) + " records are missing";
  return "";
}

// The child: commits for ever (until killed), or `limit` times, pausing
// `pause_ns` between commits.
[[noreturn]] void RunWriter(const std::string& path, uint32_t limit, long pause_ns = 0) {
  ReportCorruptionAsUnwind();
  int status = 0;
  try {
    FileStore store;
    if (StoreOpen(store, path, kSharedMode, "") != 0) _exit(2);
    EnterWriteMode(store);
    uint32_t done = 0;
    if (StoreSync(store, true) == 0 && store.header.change_count != 0) {
      if (RecordNode* counter = FindExact(store, Key(kCounterKey))) done = LoadBE32(counter->bytes() + 4);
    }
    for (uint32_t i = done + 1; limit == 0 || i <= done + limit; ++i) {
      CommitNumber(store, i);
      if (EndAccess(store) != 0) _exit(3);
      if (pause_ns != 0) {
        const timespec pause{0, pause_ns};
        nanosleep(&pause, nullptr);
      }
    }
    StoreClose(store);
  } catch (const CorruptionUnwind& unwind) {
    status = 10;
  }
  _exit(status);
}

using CrashProcessTest = StoreTest;

TEST_F(CrashProcessTest, WriterKilledAtRandomMomentsLeavesACommittedState) {
  const int trials = std::getenv("VANTROSE_SOAK") != nullptr ? 1000 : 50;
  std::mt19937 random(7);
  for (int trial = 0; trial < trials; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) RunWriter(path_, 0);
    const timespec pause{0, long(random() % 40'000'000)};
    nanosleep(&pause, nullptr);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer ended by itself with " << WEXITSTATUS(status);

    FileStore& store = Open();
    EXPECT_EQ(CheckCommittedState(store), "");
    ASSERT_EQ(EnterWriteMode(store), 0);
    EXPECT_EQ(CheckCommittedState(store), "");
    const std::vector<std::string> problems = Problems();
    ASSERT_TRUE(problems.empty()) << problems.front();
    Close();
    if (HasFailure()) return;
  }
}

TEST_F(CrashProcessTest, ReaderSeesOnlyCommittedStatesWhileAnotherProcessCommits) {
  constexpr uint32_t kCommits = 60;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  // The writer pauses between commits so that the reader meets many states.
  if (child == 0) RunWriter(path_, kCommits, 3'000'000);
  FileStore& store = Open();
  uint32_t states_seen = 0;
  uint32_t last = 0;
  int status = 0;
  for (int read = 0; waitpid(child, &status, WNOHANG) == 0; ++read) {
    const std::string problem = CheckCommittedState(store);
    if (!problem.empty()) kill(child, SIGKILL);
    ASSERT_EQ(problem, "") << "read " << read;
    RecordNode* counter = store.header.change_count == 0 ? nullptr : FindExact(store, Key(kCounterKey));
    const uint32_t commits = counter == nullptr ? 0 : LoadBE32(counter->bytes() + 4);
    EXPECT_GE(commits, last);
    if (commits != last) ++states_seen;
    last = commits;
    ASSERT_EQ(EndAccess(store), 0);
    // Between accesses the writer's commit, which waits for every reader,
    // gets its turn.
    const timespec pause{0, 2'000'000};
    nanosleep(&pause, nullptr);
  }
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(CheckCommittedState(store), "");
  EXPECT_EQ(LoadBE32(FindExact(store, Key(kCounterKey))->bytes() + 4), kCommits);
  EXPECT_GT(states_seen, 1u);
}

}  // namespace
}  // namespace vantrose::testing
