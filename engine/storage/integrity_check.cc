#include "engine/storage/integrity_check.h"

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_image.h"
#include "engine/storage/record_node.h"

namespace vantrose {

namespace {

struct StoredRecord {
  std::vector<uint8_t> bytes;
  uint16_t key_length = 0;
  KeyBytes key() const { return {bytes.data(), key_length}; }
};

class CollectingSink final : public RecordSink {
 public:
  uint8_t* AddRecord(uint16_t length, uint16_t key_length) override {
    records.push_back({std::vector<uint8_t>(length), key_length});
    return records.back().bytes.data();
  }
  std::vector<StoredRecord> records;
};

std::string KeyText(KeyBytes key) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (size_t i = 0; i < key.size() && i < 24; ++i) {
    text += kHex[key[i] >> 4];
    text += kHex[key[i] & 15];
  }
  if (key.size() > 24) text += "...";
  return text.empty() ? "(empty)" : text;
}

class Checker {
 public:
  Checker(FileStore& store, std::vector<std::string>& problems) : store_(store), problems_(problems) {}

  void Run(const IntegrityOptions& options) {
    uint8_t bytes[kHeaderSize];
    const size_t got = OsRead(store_.file, 0, bytes, kHeaderSize);
    if (got == 0) return;  // an empty file is a new one
    if (got != kHeaderSize) return Problem("the file holds no whole header");
    header_ = DecodeHeader(bytes);
    if (!header_.has_signature()) return Problem("the header's signature is not vAnT");
    if (header_.header_size != kHeaderSize) Problem("the header size is " + std::to_string(header_.header_size));
    if (!ZoneTableValid(header_)) return Problem("the zone table breaks the zone invariants");
    if (header_.log_start != header_.log_end) {
      if (!options.pending_log_expected) {
        Problem("a commit log is pending (" + std::to_string(header_.log_start) + " to " +
                std::to_string(header_.log_end) + ")");
      }
      // A store reading past a pending log sees the state that log holds:
      // its header, and each logged page at its place in the log. Checking
      // the marked header over the pages at home instead would mix two
      // states once the copy home has begun.
      if (store_.cache.pending_log_read) {
        header_ = store_.header;
        through_log_ = true;
        if (!ZoneTableValid(header_)) return Problem("the logged header's zone table breaks the zone invariants");
      }
    }
    if (header_.change_count == 0) return;  // no page tree yet

    bool first_record_seen = false;
    Walk(header_.root_page, -1, {}, nullptr, true, &first_record_seen);
    for (int z = 1; z <= kMaxZone; ++z) {
      const int32_t slots = (header_.zone_end[z] - header_.zone_start[z]) / z;
      if (used_[z] != slots) {
        Problem("zone " + std::to_string(z) + " has " + std::to_string(slots) + " slots but " +
                std::to_string(used_[z]) + " pages of the tree");
      }
    }
  }

 private:
  void Problem(std::string text) { problems_.push_back(std::move(text)); }

  int ZoneOfPage(int32_t page) const {
    for (int z = 1; z <= kMaxZone; ++z) {
      if (header_.zone_start[z] <= page && page < header_.zone_end[z]) return z;
    }
    return 0;
  }

  // Reads and parses page `number`; false (with the problem listed) when it
  // cannot be used.
  bool Load(int32_t number, CollectingSink& sink, ParsedImage& parsed) {
    const std::string name = "page " + std::to_string(number);
    const int z = number < 0 ? 0 : ZoneOfPage(number);
    if (z == 0) {
      Problem(name + " lies in no zone");
      return false;
    }
    if ((number - header_.zone_start[z]) % z != 0) Problem(name + " is not on a slot boundary of zone " + std::to_string(z));
    if (!pages_.insert(number).second) {
      Problem(name + " is reached twice");
      return false;
    }
    ++used_[z];
    std::vector<uint8_t> image(size_t(z) * kBlockSize);
    const uint32_t home = uint32_t(PageOffset(number));
    const uint64_t at = through_log_ ? store_.cache.ReadOffsetOf(home) : home;
    if (OsRead(store_.file, at, image.data(), image.size()) != image.size()) {
      Problem(name + " lies beyond the end of the file");
      return false;
    }
    if (ImageHomeOffset(image.data()) != uint32_t(PageOffset(number))) Problem(name + " carries another home offset");
    try {
      parsed = ParseImage(image, sink);
    } catch (const CorruptionUnwind& unwind) {
      Problem(name + " cannot be read (check " + std::to_string(unwind.code) + ")");
      return false;
    }
    return true;
  }

  // Checks the subtree of page `number`, whose records must lie in [low,
  // high) (high absent when `high` is null) and whose first key must be
  // `expected_first` when it has a parent entry.
  void Walk(int32_t number, int expected_level, KeyBytes expected_first, const std::vector<uint8_t>* high,
            bool is_root, bool* first_record_seen) {
    CollectingSink sink;
    ParsedImage parsed;
    if (!Load(number, sink, parsed)) return;
    const std::string name = "page " + std::to_string(number);
    if (expected_level >= 0 && parsed.level != expected_level) {
      Problem(name + " is at level " + std::to_string(parsed.level) + ", expected " + std::to_string(expected_level));
      return;
    }
    const std::vector<StoredRecord>& records = sink.records;
    if (records.empty()) {
      if (!is_root) Problem(name + " is empty but is not the root");
      return;
    }
    if (!is_root && CompareKeys(records.front().key(), expected_first) != 0) {
      Problem(name + " begins with " + KeyText(records.front().key()) + " but its entry says " + KeyText(expected_first));
    }
    for (size_t i = 0; i < records.size(); ++i) {
      if (i > 0 && CompareKeys(records[i - 1].key(), records[i].key()) >= 0) {
        Problem(name + " holds " + KeyText(records[i].key()) + " out of key order");
      }
      if (high != nullptr && CompareKeys(records[i].key(), {high->data(), high->size()}) >= 0) {
        Problem(name + " holds " + KeyText(records[i].key()) + ", which belongs to a later page");
      }
    }
    if (parsed.level == 0) {
      if (!*first_record_seen) {
        *first_record_seen = true;
        if (!records.front().bytes.empty()) Problem("the first record of the file is not the empty record");
      }
      return;
    }
    for (size_t i = 0; i < records.size(); ++i) {
      if (records[i].bytes.size() != records[i].key_length) {
        Problem(name + " has an index entry with data bytes");
      }
      std::vector<uint8_t> next_key;
      const std::vector<uint8_t>* child_high = high;
      if (i + 1 < records.size()) {
        next_key.assign(records[i + 1].bytes.begin(), records[i + 1].bytes.begin() + records[i + 1].key_length);
        child_high = &next_key;
      }
      Walk(parsed.children[i], parsed.level - 1, records[i].key(), child_high, false, first_record_seen);
    }
  }

  FileStore& store_;
  std::vector<std::string>& problems_;
  FileHeader header_;
  bool through_log_ = false;  // pages are read where the store reads them
  std::set<int32_t> pages_;
  int32_t used_[kZoneCount] = {};
};

}  // namespace

std::vector<std::string> CheckIntegrity(FileStore& store, const IntegrityOptions& options) {
  // Damage found by the image parser is a corruption report; the checker
  // catches it as a problem, which needs the reports to unwind. The mark is
  // left as it was found: set on, it would turn a later report outside any
  // operation into an unwind that nobody catches.
  const bool marked = EngineOperationInProgress();
  if (!marked) MarkEngineOperationInProgress();
  std::vector<std::string> problems;
  try {
    Checker(store, problems).Run(options);
  } catch (const CorruptionUnwind& unwind) {
    problems.push_back("the file cannot be read (check " + std::to_string(unwind.code) + ")");
  }
  if (!marked) ClearEngineOperationInProgress();
  return problems;
}

}  // namespace vantrose
