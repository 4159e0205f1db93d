// Page tree and commit throughput: the bulk-load pattern (records appended
// in key order through a cursor, committed every 40 changed pages, as a
// streamed conversion does) and small commits on a large file.
//
//   tree_bench [records]     (default 200000; file in $TMPDIR)
#include <chrono>
#include <cstdio>
#include <ctime>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "engine/storage/byte_order.h"
#include "engine/storage/commit.h"
#include "engine/storage/corruption.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"

namespace vantrose {
namespace {

constexpr uint32_t kRecordLength = 9301;
constexpr uint32_t kCommitEvery = 40;  // changed pages

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// A catalogue-like data record: a 5-byte key prefix and the record number,
// then text fields that are mostly blank padding.
RecordNodePtr CatalogueRecord(uint32_t number) {
  RecordNodePtr record = RecordNode::New(9, kRecordLength - 9);
  uint8_t* bytes = record->bytes();
  StoreBE32(bytes, 1);
  bytes[4] = 1;
  StoreBE32(bytes + 5, number);
  std::span<uint8_t> data = record->mutable_data();
  std::fill(data.begin(), data.end(), uint8_t(' '));
  const std::string title = "Title of record " + std::to_string(number * 2654435761u);
  std::copy(title.begin(), title.end(), data.begin());
  for (size_t i = 0; i < 64; ++i) data[200 + i] = uint8_t(number >> (i % 4 * 8));
  return record;
}

int Run(uint32_t records) {
  const char* dir = std::getenv("TMPDIR");
  const std::string path = std::string(dir != nullptr ? dir : "/tmp") + "/tree_bench_" + std::to_string(getpid()) + ".vnt";
  MarkEngineOperationInProgress();
  FileStore store;
  if (StoreOpen(store, path, OPEN_PRIVATE_CREATE | OPEN_DENY_WRITE | OPEN_READ_WRITE, "") != 0) return 1;
  EnterWriteMode(store);

  auto start = std::chrono::steady_clock::now();
  std::clock_t cpu_start = std::clock();
  uint32_t commits = 0;
  {
    Cursor cursor(store);
    CursorSet(cursor, RecordNode::New(0, 0), false);
    CursorCurrent(cursor);
    for (uint32_t n = 1; n <= records; ++n) {
      CursorInsert(cursor, CatalogueRecord(n));
      if (store.cache.changed_count() >= kCommitEvery) {
        if (Commit(store) != 0) return 2;
        ++commits;
      }
    }
  }
  if (Commit(store) != 0) return 2;
  ++commits;
  const double load = Seconds(start);
  const double load_cpu = double(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  std::printf("bulk load: %u records of %u bytes in %.2f s (%.2f s CPU): %.0f appends/s (%.0f per CPU second),"
              " %u commits (%.0f/s), file %.1f MB\n",
              records, kRecordLength, load, load_cpu, records / load, records / load_cpu, commits,
              commits / load, DataEnd(store.header) / 1e6);

  // Small commits: one record changed in place each, on the loaded file.
  start = std::chrono::steady_clock::now();
  cpu_start = std::clock();
  constexpr uint32_t kSmallCommits = 200;
  Cursor cursor(store);
  for (uint32_t i = 0; i < kSmallCommits; ++i) {
    uint8_t key[9] = {0, 0, 0, 1, 1};
    StoreBE32(key + 5, 1 + uint32_t((uint64_t(i) * 7919) % records));
    CursorSet(cursor, RecordNode::FromBytes(key), false);
    RecordNode* record = CursorCurrent(cursor);
    record->mutable_data()[100] ^= 1;
    CursorMarkChanged(cursor);
    if (Commit(store) != 0) return 3;
  }
  const double small = Seconds(start);
  const double small_cpu = double(std::clock() - cpu_start) / CLOCKS_PER_SEC;
  std::printf("small commits: %u in %.2f s (%.3f s CPU): %.0f commits/s (each logs one page and the header,"
              " 4 flushes)\n",
              kSmallCommits, small, small_cpu, kSmallCommits / small);

  // Reading everything back in key order.
  store.cache.DropAll();
  start = std::chrono::steady_clock::now();
  uint32_t seen = 0;
  for (RecordNode* at = FindNext(store, *FindExact(store, {})); at != nullptr; at = FindNext(store, *at)) ++seen;
  const double scan = Seconds(start);
  std::printf("scan: %u records in %.2f s: %.0f records/s\n", seen, scan, seen / scan);
  CursorRelease(cursor);
  StoreClose(store);
  unlink(path.c_str());
  return seen == records ? 0 : 4;
}

}  // namespace
}  // namespace vantrose

int main(int argc, char** argv) {
  const uint32_t records = argc > 1 ? uint32_t(std::strtoul(argv[1], nullptr, 10)) : 200000;
  return vantrose::Run(records);
}
