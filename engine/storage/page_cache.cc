#include "engine/storage/page_cache.h"

#include <utility>

#include "engine/storage/commit.h"
#include "engine/storage/corruption.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_image.h"
#include "engine/storage/page_tree.h"

namespace vantrose {

namespace {

// Trimming bounds of the clean list.
constexpr uint32_t kTrimFloor = 20;
constexpr uint32_t kTrimCeiling = 100;
constexpr uint32_t kIdleFactor = 4;

class CacheHooks final : public StoreCacheHooks {
 public:
  void DropCache(FileStore& store) override { store.cache.DropAll(); }
  void RecoverLog(FileStore& store) override { vantrose::RecoverLog(store); }
};
CacheHooks g_cache_hooks;

// Collects the records of a page image as nodes.
class NodeSink final : public RecordSink {
 public:
  uint8_t* AddRecord(uint16_t length, uint16_t key_length) override {
    if (key_length > length) ReportCorruption(kCheckTreeShape);
    nodes.push_back(RecordNode::New(key_length, length - key_length));
    return nodes.back()->bytes();
  }
  std::vector<RecordNodePtr> nodes;
};

// Keeps the key of an image's first record; the other records are unpacked
// into scratch space only so that the whole image is checked.
class FirstKeySink final : public RecordSink {
 public:
  uint8_t* AddRecord(uint16_t length, uint16_t key_length) override {
    if (key_length > length) ReportCorruption(kCheckTreeShape);
    if (records_++ == 0) {
      first_.resize(length);
      first_key_length_ = key_length;
      return first_.data();
    }
    scratch_.resize(length);
    return scratch_.data();
  }
  bool empty() const { return records_ == 0; }
  std::vector<uint8_t> TakeKey() {
    first_.resize(first_key_length_);
    return std::move(first_);
  }

 private:
  uint32_t records_ = 0;
  uint16_t first_key_length_ = 0;
  std::vector<uint8_t> first_;
  std::vector<uint8_t> scratch_;
};

}  // namespace

PageCache::PageCache(FileStore& store) : store_(store) { store.cache_hooks = &g_cache_hooks; }

PageCache::~PageCache() { DropAll(); }

void PageCache::PageList::PushNewest(Page* page) {
  page->older = newest;
  page->newer = nullptr;
  if (newest != nullptr) newest->newer = page; else oldest = page;
  newest = page;
  ++count;
}

void PageCache::PageList::Remove(Page* page) {
  if (page->older != nullptr) page->older->newer = page->newer; else oldest = page->newer;
  if (page->newer != nullptr) page->newer->older = page->older; else newest = page->older;
  page->older = page->newer = nullptr;
  --count;
}

Page* PageCache::Find(int32_t number) const {
  auto it = pages_.find(number);
  return it == pages_.end() ? nullptr : it->second.get();
}

void PageCache::Touch(Page* page) {
  ++clock_;
  page->last_use = clock_;
  ++page->use_count;
  clean_.Remove(page);
  clean_.PushNewest(page);
}

void PageCache::Trim() {
  while (clean_.count >= kTrimFloor) {
    Page* oldest = clean_.oldest;
    if (oldest->pins != 0) return;
    if (clean_.count < kTrimCeiling) {
      const uint32_t average = (clock_ - oldest->created) / clean_.count;
      if (clock_ - oldest->last_use < kIdleFactor * average) return;
    }
    Drop(oldest);
  }
}

Page* PageCache::Get(int32_t number) {
  Trim();
  if (Page* page = Find(number)) {
    if (!page->loaded) {
      // Fetched for a move so far: its records are now needed, and once
      // they may change the image read no longer stands for them. Damage
      // found here leaves the page as it was.
      Load(page, page->image);
      page->image = std::vector<uint8_t>();
      page->first_key = std::vector<uint8_t>();
    }
    if (!page->changed) Touch(page);
    return page;
  }
  // Only the root of a new file and pages made by splits carry negative
  // numbers, and both are created changed, never read: a negative number
  // that is not cached comes from a damaged file.
  if (number < 0) ReportCorruption(kCheckTreeShape);
  auto owned = std::make_unique<Page>(number);
  Load(owned.get(), ReadSlot(number));
  return Cache(std::move(owned));
}

Page* PageCache::GetForMove(int32_t number) {
  if (Page* page = Find(number)) return page;
  if (number < 0) ReportCorruption(kCheckTreeShape);
  const std::span<const uint8_t> slot = ReadSlot(number);
  auto owned = std::make_unique<Page>(number);
  if (ImageLevel(slot.data()) > 0) {
    Load(owned.get(), slot);
    return Cache(std::move(owned));
  }
  FirstKeySink sink;
  ParseImage(slot, sink);
  // A leaf without records is left to the move to report.
  if (!sink.empty()) {
    owned->image.assign(slot.begin(), slot.end());
    owned->first_key = sink.TakeKey();
  } else {
    owned->loaded = true;
  }
  return Cache(std::move(owned));
}

Page* PageCache::Cache(std::unique_ptr<Page> owned) {
  Page* page = owned.get();
  page->created = clock_;
  pages_.emplace(page->number, std::move(owned));
  clean_.PushNewest(page);
  Touch(page);
  return page;
}

uint32_t PageCache::ReadOffsetOf(uint32_t home_offset) const {
  auto it = redirects_.find(home_offset);
  return it == redirects_.end() ? home_offset : it->second;
}

std::span<const uint8_t> PageCache::ReadSlot(int32_t number) {
  const int zone = ZoneOf(store_, number);
  const size_t slot_size = size_t(zone) * kBlockSize;
  if (slot_buffer_.size() < kMaxImageSize) slot_buffer_.resize(kMaxImageSize);
  const uint32_t home = uint32_t(PageOffset(number));
  OsReadExact(store_.file, ReadOffsetOf(home), slot_buffer_.data(), slot_size);
  return {slot_buffer_.data(), slot_size};
}

void PageCache::Load(Page* page, std::span<const uint8_t> image) {
  NodeSink sink;
  const ParsedImage parsed = ParseImage(image, sink);
  if (parsed.level > 0 && parsed.children.size() != sink.nodes.size()) ReportCorruption(kCheckTreeShape);
  std::vector<RecordNode*> sorted;
  sorted.reserve(sink.nodes.size());
  for (size_t i = 0; i < sink.nodes.size(); ++i) {
    RecordNode* node = sink.nodes[i].get();
    if (i > 0 && CompareKeys(*sorted.back(), *node) >= 0) ReportCorruption(kCheckTreeShape);
    if (parsed.level > 0) node->child_page = parsed.children[i];
    sorted.push_back(node);
  }
  page->level = parsed.level;
  page->records.Assign(sorted);
  for (RecordNodePtr& node : sink.nodes) (void)node.release();
  // The estimate is recomputed rather than taken from the image: it is the
  // same sum for a sound page, and a damaged field must not steer splits or
  // the size of the next image's buffer.
  page->RecomputeEstimate();
  page->loaded = true;
}

Page* PageCache::NewPage(uint8_t level) {
  auto owned = std::make_unique<Page>(NextTemporary());
  Page* page = owned.get();
  page->level = level;
  page->loaded = true;
  page->created = clock_;
  pages_.emplace(page->number, std::move(owned));
  clean_.PushNewest(page);
  MarkChanged(*page);
  return page;
}

void PageCache::MarkChanged(Page& page) {
  if (page.changed) return;
  store_.changed = true;
  clean_.Remove(&page);
  changed_.PushNewest(&page);
  page.changed = true;
}

void PageCache::MarkClean(Page& page) {
  if (!page.changed) return;
  if (!page.loaded) {
    Drop(&page);
    return;
  }
  changed_.Remove(&page);
  page.changed = false;
  page.image = std::vector<uint8_t>();
  clean_.PushNewest(&page);
  Touch(&page);
}

void PageCache::Renumber(Page& page, int32_t to) {
  if (pages_.count(to) != 0) ReportCorruption(kCheckTreeShape);
  auto it = pages_.find(page.number);
  std::unique_ptr<Page> owned = std::move(it->second);
  pages_.erase(it);
  page.number = to;
  pages_.emplace(to, std::move(owned));
}

void PageCache::Drop(Page* page) {
  DetachCursors(*page);
  (page->changed ? changed_ : clean_).Remove(page);
  pages_.erase(page->number);
}

void PageCache::DropAll() {
  for (auto& entry : pages_) DetachCursors(*entry.second);
  pages_.clear();
  clean_ = PageList();
  changed_ = PageList();
  redirects_.clear();
  next_temporary_ = 0;
  home_copy_pending = false;
  pending_log_read = false;
}

}  // namespace vantrose
