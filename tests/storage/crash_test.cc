// Crash safety of the commit: every write and every flush of a commit fails
// in turn, and the power is cut after every write (with and without a torn
// last write). Afterwards the file always opens to the state before or after
// the commit, never a mix, and passes the integrity checker. Each runs for a
// shared store and for one that denies others writing (whose commit takes
// the commit lock only and whose header is read once).
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/fault_injection.h"
#include "tests/storage/tree_fixture.h"

namespace vantrose::testing {
namespace {

struct Scenario {
  const char* name;
  std::function<void(FileStore&)> setup;   // committed before the commit under test
  std::function<void(FileStore&)> change;  // the commit under test
};

const Scenario kScenarios[] = {
    {"first commit of a new file", [](FileStore&) {},
     [](FileStore& store) {
       for (uint32_t n = 1; n <= 40; ++n) Insert(store, MakeNoisyRecord(n, 400));
     }},
    {"changes over a committed file",
     [](FileStore& store) {
       for (uint32_t n = 1; n <= 150; ++n) Insert(store, MakeNoisyRecord(n, n % 3 == 0 ? 1500 : 300));
     },
     [](FileStore& store) {
       for (uint32_t n = 120; n <= 150; ++n) Delete(store, FindExact(store, Key(n)));
       for (uint32_t n = 1000; n <= 1015; ++n) Insert(store, MakeNoisyRecord(n, 2500, 1));
       for (uint32_t n = 20; n <= 60; n += 4) Delete(store, FindExact(store, Key(n)));
       Insert(store, MakeNoisyRecord(5000, 9000, 2));
     }},
};

class CrashTest : public StoreTest, public ::testing::WithParamInterface<uint32_t> {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    use_.emplace(faults_);
  }
  void TearDown() override {
    StoreTest::TearDown();
    use_.reset();
  }

  struct Run {
    Contents before;
    Contents after;
    int writes = 0;
    int flushes = 0;
    int result = 0;
  };

  // A fresh file with the scenario's committed state and its change made;
  // `arm` sets the fault just before the commit under test.
  Run CommitWith(const Scenario& scenario, const std::function<void()>& arm) {
    Run run;
    if (store_ != nullptr) Close();
    std::remove(path_.c_str());
    faults_.Reset();
    FileStore& store = OpenForWriting(GetParam());
    scenario.setup(store);
    EXPECT_EQ(Commit(store), 0);
    run.before = ReadContents();
    scenario.change(store);
    run.after = ReadContents();
    EXPECT_NE(run.before, run.after);
    const int writes = faults_.writes();
    const int flushes = faults_.flushes();
    arm();
    run.result = Commit(store);
    run.writes = faults_.writes() - writes;
    run.flushes = faults_.flushes() - flushes;
    return run;
  }

  // Opens the file afresh (after the fault is gone) and checks that it holds
  // `expected` (or, with `either`, one of the two states) and is sound once
  // a writer has finished any pending log.
  void ExpectState(const Run& run, const Contents* expected) {
    FileStore& store = Open();
    const Contents seen = ReadContents();
    if (expected != nullptr) {
      EXPECT_EQ(seen, *expected);
    } else {
      EXPECT_TRUE(seen == run.before || seen == run.after)
          << "a state of " << seen.size() << " records, neither " << run.before.size() << " nor "
          << run.after.size();
    }
    ASSERT_EQ(EnterWriteMode(store), 0);
    EXPECT_EQ(ReadContents(), seen);
    const std::vector<std::string> problems = Problems();
    EXPECT_TRUE(problems.empty()) << problems.front();
    Close();
  }

  FaultInjectingFileSystem faults_;
  std::optional<ScopedFileSystem> use_;
};

TEST_P(CrashTest, EachFailedWriteLeavesTheLastCommittedState) {
  for (const Scenario& scenario : kScenarios) {
    const int writes = CommitWith(scenario, [] {}).writes;
    ASSERT_GT(writes, 2);
    for (int k = 1; k <= writes; ++k) {
      SCOPED_TRACE(std::string(scenario.name) + ", write " + std::to_string(k));
      const Run run = CommitWith(scenario, [&] { faults_.FailWrite(k, 112); });
      // A failure in the first phase is reported and the state before
      // stands; once the log is marked the commit stands.
      if (run.result != 0) {
        EXPECT_EQ(run.result, 112);
        EXPECT_EQ(ReadContents(), run.before);
      }
      Close();
      ExpectState(run, run.result != 0 ? &run.before : &run.after);
    }
  }
}

TEST_P(CrashTest, EachFailedFlushLeavesTheLastCommittedState) {
  for (const Scenario& scenario : kScenarios) {
    const int flushes = CommitWith(scenario, [] {}).flushes;
    ASSERT_GT(flushes, 1);
    for (int k = 1; k <= flushes; ++k) {
      SCOPED_TRACE(std::string(scenario.name) + ", flush " + std::to_string(k));
      const Run run = CommitWith(scenario, [&] { faults_.FailFlush(k, 5); });
      Close();
      ExpectState(run, run.result != 0 ? &run.before : &run.after);
    }
  }
}

TEST_P(CrashTest, PowerCutAtEveryWriteGivesTheOldOrTheNewState) {
  for (const Scenario& scenario : kScenarios) {
    const int writes = CommitWith(scenario, [] {}).writes;
    for (size_t torn : {size_t{0}, size_t{1}}) {
      for (int k = 0; k <= writes; ++k) {
        SCOPED_TRACE(std::string(scenario.name) + ", power cut after write " + std::to_string(k) +
                     (torn != 0 ? ", torn" : ""));
        const Run run = CommitWith(scenario, [&] { faults_.CutPowerAfterWrites(k, torn); });
        Crash();
        faults_.LoseUnflushedWrites();
        faults_.Reset();
        ExpectState(run, nullptr);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(SharedAndDenyWrite, CrashTest, ::testing::Values(kSharedMode, kDenyWriteMode),
                         [](const ::testing::TestParamInfo<uint32_t>& info) {
                           return info.param == kSharedMode ? std::string("Shared") : std::string("DenyWrite");
                         });

}  // namespace
}  // namespace vantrose::testing
