#include "engine/storage/page_tree.h"

#include <cstring>
#include <memory>

#include "engine/storage/corruption.h"
#include "engine/storage/cursor.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page.h"
#include "engine/storage/zones.h"

namespace vantrose {

namespace {

// Check codes.
constexpr uint32_t kCheckDuplicateKey = 706;
constexpr uint32_t kCheckRecordNotInPage = 780;
constexpr uint32_t kCheckSyncBeforeRoot = 1013;
constexpr uint32_t kCheckInsertInReaderMode = 1194;
constexpr uint32_t kCheckDeleteInReaderMode = 1203;
constexpr uint32_t kCheckSplitTooSmall = 1364;

// A private copy of a search key. Keys handed to the searches often lie in
// nodes of cached pages, and a descent's fetches may drop those pages.
class StableKey {
 public:
  explicit StableKey(KeyBytes key) {
    uint8_t* bytes = inline_;
    if (key.size() > sizeof(inline_)) {
      heap_ = std::make_unique<uint8_t[]>(key.size());
      bytes = heap_.get();
    }
    if (!key.empty()) std::memcpy(bytes, key.data(), key.size());
    view_ = {bytes, key.size()};
  }
  StableKey(const StableKey&) = delete;
  StableKey& operator=(const StableKey&) = delete;
  KeyBytes view() const { return view_; }

 private:
  uint8_t inline_[64];
  std::unique_ptr<uint8_t[]> heap_;
  KeyBytes view_;
};

bool IsFull(const Page& page) {
  return page.estimate > kPageFullEstimate ||
         (page.estimate > kPageCrowdedEstimate && page.records.count() > kPageCrowdedCount);
}

// The index entry for page: a key copy of its first record, leading to it.
RecordNodePtr EntryFor(const Page& page) {
  RecordNodePtr entry = RecordNode::KeyCopy(*page.records.First());
  entry->child_page = page.number;
  return entry;
}

// Descends from the root by floor entries to the page of `level` where key
// belongs; none when a floor is missing (only in a damaged tree).
Page* DescendTo(FileStore& store, KeyBytes key, uint8_t level) {
  Page* page = RootPage(store);
  while (page->level > level) {
    RecordNode* entry = page->records.Floor(key);
    if (entry == nullptr) return nullptr;
    page = ChildPage(store, *page, *entry);
  }
  return page;
}

// The smallest record after key in the subtree of page.
RecordNode* NextBelow(FileStore& store, Page* page, KeyBytes key) {
  if (page->level == 0) return page->records.After(key);
  PagePin pin(page);
  if (RecordNode* floor = page->records.Floor(key)) {
    if (RecordNode* found = NextBelow(store, ChildPage(store, *page, *floor), key)) return found;
  }
  if (RecordNode* after = page->records.After(key)) {
    return NextBelow(store, ChildPage(store, *page, *after), key);
  }
  return nullptr;
}

// Takes node out of page (at the page's own level) and frees it.
void RemoveFromPage(FileStore& store, Page* page, RecordNode* node) {
  DetachCursors(*page);
  page->records.Remove(node);
  store.cache.MarkChanged(*page);
  page->estimate -= EstimateOf(*node, page->level);
  RecordNodeDeleter()(node);
}

// Removes the record with key from the tree below page, at level 0.
void DeleteAt(FileStore& store, KeyBytes key, Page* page) {
  if (page->level == 0) {
    RecordNode* node = page->records.Floor(key);
    if (node == nullptr || CompareKeys(node->key(), key) != 0) ReportCorruption(kCheckRecordNotInPage);
    RemoveFromPage(store, page, node);
    return;
  }
  PagePin pin(page);
  RecordNode* entry = page->records.Floor(key);
  if (entry == nullptr) ReportCorruption(kCheckRecordNotInPage);
  Page* child = ChildPage(store, *page, *entry);
  DeleteAt(store, key, child);
  if (child->records.empty()) {
    // The emptied child leaves under a temporary number so that the page
    // moved into its slot cannot meet it in the cache.
    const int32_t slot = child->number;
    store.cache.Renumber(*child, store.cache.NextTemporary());
    FreeSlot(store, slot);
    RemoveFromPage(store, page, entry);
    store.cache.Drop(child);
  } else if (CompareKeys(child->records.First()->key(), entry->key()) > 0) {
    // The child's first record went: its entry takes the new first key.
    RemoveFromPage(store, page, entry);
    InsertAtLevel(store, EntryFor(*child), uint8_t(child->level + 1));
  }
}

}  // namespace

void Page::RecomputeEstimate() {
  uint32_t total = kEmptyPageEstimate;
  records.ForEach([&](const RecordNode* node) { total += EstimateOf(*node, level); });
  estimate = total;
}

Page* ChildPage(FileStore& store, const Page& parent, const RecordNode& entry) {
  Page* child = store.cache.Get(entry.child_page);
  if (child->level + 1 != parent.level) ReportCorruption(kCheckTreeShape);
  return child;
}

Page* RootPage(FileStore& store) {
  if (StoreSync(store, true) != 0) ReportCorruption(kCheckSyncBeforeRoot);
  FileHeader& header = store.header;
  if (header.change_count == 0) {
    // A new file: its root is made here, holding the empty record, and gets
    // a place at the first commit.
    if (store.reader_mode != LOCK_WRITER) ReportCorruption(kCheckInsertInReaderMode);
    Page* root = store.cache.NewPage(0);
    header.change_count = 1;
    header.root_page = root->number;
    RecordNodePtr empty = RecordNode::New(0, 0);
    root->records.Insert(empty.get());
    root->estimate += EstimateOf(*empty.release(), 0);
    return root;
  }
  return store.cache.Get(header.root_page);
}

RecordNode* FindExact(FileStore& store, KeyBytes search_key) {
  const StableKey stable(search_key);
  const KeyBytes key = stable.view();
  Page* leaf = DescendTo(store, key, 0);
  if (leaf == nullptr) return nullptr;
  RecordNode* floor = leaf->records.Floor(key);
  return floor != nullptr && CompareKeys(floor->key(), key) == 0 ? floor : nullptr;
}

LeafPosition FindForCursor(FileStore& store, KeyBytes search_key) {
  const StableKey stable(search_key);
  const KeyBytes key = stable.view();
  Page* leaf = DescendTo(store, key, 0);
  if (leaf == nullptr) return {nullptr, nullptr};
  RecordNode* floor = leaf->records.Floor(key);
  return {leaf, floor != nullptr && CompareKeys(floor->key(), key) == 0 ? floor : nullptr};
}

RecordNode* FindPrevious(FileStore& store, KeyBytes search_key) {
  const StableKey stable(search_key);
  const KeyBytes key = stable.view();
  Page* page = RootPage(store);
  while (page->level > 0) {
    RecordNode* entry = page->records.Before(key);
    if (entry == nullptr) return nullptr;
    page = ChildPage(store, *page, *entry);
  }
  RecordNode* before = page->records.Before(key);
  return before == nullptr || before->total_length() == 0 ? nullptr : before;
}

RecordNode* FindNext(FileStore& store, const RecordNode& record) {
  if (record.linked) {
    if (RecordNode* next = RecordTree::Next(&record)) return next;
  }
  const StableKey key(record.key());
  return NextBelow(store, RootPage(store), key.view());
}

RecordNode* Insert(FileStore& store, RecordNodePtr record) {
  return InsertAtLevel(store, std::move(record), 0);
}

RecordNode* InsertAtLevel(FileStore& store, RecordNodePtr record, uint8_t level) {
  if (store.reader_mode != LOCK_WRITER) ReportCorruption(kCheckInsertInReaderMode);
  // A record that would overfill a page even alone can never be placed:
  // refuse it before anything changes.
  if (kEmptyPageEstimate + EstimateOf(*record, level) > kPageFullEstimate) {
    ReportCorruption(kCheckSplitTooSmall);
  }
  Page* page = DescendTo(store, record->key(), level);
  if (page == nullptr || page->level != level) ReportCorruption(kCheckTreeShape);
  RecordNode* node = record.get();
  if (!page->records.Insert(node)) ReportCorruption(kCheckDuplicateKey);
  (void)record.release();
  store.cache.MarkChanged(*page);
  page->estimate += EstimateOf(*node, level);
  SplitIfFull(store, page);
  return node;
}

void Delete(FileStore& store, RecordNode* record) {
  if (record == nullptr) return;
  if (store.reader_mode != LOCK_WRITER) ReportCorruption(kCheckDeleteInReaderMode);
  // The empty record belongs to the tree's structure (every floor search
  // relies on it), not to any caller: it is never removed.
  if (record->total_length() == 0) return;
  // The record is found again by its key on the way down: the fetches of
  // the descent may drop the page it was found in.
  const StableKey key(record->key());
  DeleteAt(store, key.view(), RootPage(store));
}

void SplitIfFull(FileStore& store, Page* page, const RecordNode* appended) {
  if (!IsFull(*page)) return;
  if (page->records.count() < 2) ReportCorruption(kCheckSplitTooSmall);
  DetachCursors(*page);
  PageCache& cache = store.cache;
  if (page->number == store.header.root_page) {
    // The root keeps its number: its records move down into a new page,
    // which is then split like any other.
    Page* child = cache.NewPage(page->level);
    child->records.Adopt(page->records.TakeAll());
    child->estimate = page->estimate;
    page->level += 1;
    page->estimate = kEmptyPageEstimate;
    cache.MarkChanged(*page);
    RecordNodePtr entry = EntryFor(*child);
    page->estimate += EstimateOf(*entry, page->level);
    page->records.Insert(entry.release());
    page = child;
  }
  Page* right = cache.NewPage(page->level);
  const RecordNode* after_appended = appended != nullptr ? RecordTree::Next(appended) : nullptr;
  if (after_appended != nullptr) {
    // Records of higher keys than the appended one go to a page of their
    // own first, so that they do not travel along with the appending and
    // take room in every page it fills.
    right->records.Adopt(page->records.SplitBefore(after_appended));
  } else if (appended != nullptr && appended != page->records.First()) {
    right->records.Adopt(page->records.SplitBefore(appended));
    appended = nullptr;
  } else {
    appended = nullptr;
    const RecordTree::Halves halves = page->records.SplitAtRoot();
    right->records.Adopt(halves.right);
    RecordTree& smaller = page->records.count() < right->records.count() ? page->records : right->records;
    smaller.Insert(halves.middle);
  }
  cache.MarkChanged(*page);
  page->RecomputeEstimate();
  right->RecomputeEstimate();
  InsertAtLevel(store, EntryFor(*right), uint8_t(right->level + 1));
  SplitIfFull(store, page, appended);
  SplitIfFull(store, right);
}

}  // namespace vantrose
