#include "engine/storage/cursor.h"

#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page.h"
#include "engine/storage/page_tree.h"

namespace vantrose {

namespace {

// Check codes.
constexpr uint32_t kCheckCursorInsertInReaderMode = 231;
constexpr uint32_t kCheckSyncBeforeCursorInsert = 232;
constexpr uint32_t kCheckSyncBeforeCursorRefresh = 256;
constexpr uint32_t kCheckChangeInReaderMode = 337;

void Unlink(Cursor** head, Cursor* cursor, Cursor* Cursor::*next) {
  for (Cursor** at = head; *at != nullptr; at = &((*at)->*next)) {
    if (*at == cursor) {
      *at = cursor->*next;
      return;
    }
  }
}

}  // namespace

void AttachCursor(Cursor& cursor, Page* page, RecordNode* record) {
  cursor.page_ = page;
  cursor.record_ = record;
  cursor.next_ = page->cursors;
  page->cursors = &cursor;
}

void Cursor::Detach() {
  if (page_ != nullptr) {
    Unlink(&page_->cursors, this, &Cursor::next_);
    page_ = nullptr;
    next_ = nullptr;
    record_ = nullptr;
  } else {
    RecordNodeDeleter()(record_);
    record_ = nullptr;
  }
}

Cursor::~Cursor() { Detach(); }

void DetachCursors(Page& page) {
  Cursor* cursor = page.cursors;
  page.cursors = nullptr;
  while (cursor != nullptr) {
    Cursor* next = cursor->next_;
    cursor->record_ = cursor->record_ == nullptr ? nullptr : RecordNode::KeyCopy(*cursor->record_).release();
    cursor->page_ = nullptr;
    cursor->next_ = nullptr;
    cursor = next;
  }
}

void CursorInit(Cursor& cursor, FileStore& store) {
  cursor.Detach();
  cursor.store_ = &store;
}

RecordNode* CursorCurrent(Cursor& cursor) {
  FileStore& store = *cursor.store_;
  if (StoreSync(store, true) != 0) ReportCorruption(kCheckSyncBeforeCursorRefresh);
  if (cursor.page_ == nullptr && cursor.record_ != nullptr) {
    RecordNodePtr key(cursor.record_);
    cursor.record_ = nullptr;
    const LeafPosition found = FindForCursor(store, key->key());
    if (found.leaf != nullptr) AttachCursor(cursor, found.leaf, found.record);
  }
  RecordNode* record = cursor.record_;
  return record == nullptr || record->total_length() == 0 ? nullptr : record;
}

void CursorSet(Cursor& cursor, RecordNodePtr record, bool insert) {
  cursor.Detach();
  if (record == nullptr) return;
  if (insert) {
    RecordNode* node = Insert(*cursor.store_, std::move(record));
    cursor.record_ = RecordNode::KeyCopy(*node).release();
  } else {
    cursor.record_ = record.release();
  }
}

void CursorSetAt(Cursor& cursor, const RecordNode& record) {
  RecordNodePtr key = RecordNode::KeyCopy(record);
  cursor.Detach();
  cursor.record_ = key.release();
}

void CursorRelease(Cursor& cursor) { cursor.Detach(); }

void CursorInsert(Cursor& cursor, RecordNodePtr record) {
  FileStore& store = *cursor.store_;
  if (store.reader_mode != LOCK_WRITER) ReportCorruption(kCheckCursorInsertInReaderMode);
  if (StoreSync(store, true) != 0) ReportCorruption(kCheckSyncBeforeCursorInsert);
  Page* page = cursor.page_;
  if (page == nullptr) {
    RecordNode* node = Insert(store, std::move(record));
    CursorSetAt(cursor, *node);
    CursorCurrent(cursor);
    return;
  }
  // Straight into the cursor's leaf: the caller appends in key order right
  // after the cursor's record, so the key belongs to this page.
  if (kEmptyPageEstimate + EstimateOf(*record, 0) > kPageFullEstimate) {
    Insert(store, std::move(record));  // reports the record that no page can hold
  }
  RecordNode* node = record.get();
  if (!page->records.Insert(node)) ReportCorruption(706);
  (void)record.release();
  store.cache.MarkChanged(*page);
  page->estimate += EstimateOf(*node, 0);
  cursor.record_ = node;
  if (page->estimate > kPageCrowdedEstimate) {
    SplitIfFull(store, page, node);
    if (cursor.page_ == nullptr) {
      // The split detached the cursor onto the new record's key: find it
      // again in whichever half it went to.
      CursorCurrent(cursor);
    }
  }
}

void CursorDelete(Cursor& cursor) {
  RecordNode* record = CursorCurrent(cursor);
  if (record == nullptr) return;
  FileStore& store = *cursor.store_;
  Page* page = cursor.page_;
  RecordNode* previous = RecordTree::Previous(record);
  if (previous == nullptr) {
    // The first record of its page: the delete may re-key or free the page,
    // so the cursor waits detached on the previous record's key.
    RecordNode* before;
    {
      // The search's fetches must not drop the page that holds record.
      PagePin pin(page);
      before = FindPrevious(store, record->key());
    }
    CursorSet(cursor, before != nullptr ? RecordNode::KeyCopy(*before) : RecordNode::New(0, 0), false);
    Delete(store, record);
    return;
  }
  if (store.reader_mode != LOCK_WRITER) ReportCorruption(kCheckChangeInReaderMode);
  // Other cursors on the same record lose it the way a delete through the
  // root would take it from them: they wait detached on its key.
  for (Cursor** at = &page->cursors; *at != nullptr;) {
    Cursor* other = *at;
    if (other != &cursor && other->record_ == record) {
      *at = other->next_;
      other->record_ = RecordNode::KeyCopy(*record).release();
      other->page_ = nullptr;
      other->next_ = nullptr;
    } else {
      at = &other->next_;
    }
  }
  cursor.record_ = previous;
  page->records.Unlink(record);
  page->estimate -= EstimateOf(*record, 0);
  CursorMarkChanged(cursor);
  RecordNodeDeleter()(record);
}

void CursorMarkChanged(Cursor& cursor) {
  FileStore& store = *cursor.store_;
  if (store.reader_mode != LOCK_WRITER) ReportCorruption(kCheckChangeInReaderMode);
  if (cursor.page_ != nullptr) store.cache.MarkChanged(*cursor.page_);
}

}  // namespace vantrose
