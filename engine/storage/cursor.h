// Cursor: a position on a stored record that survives changes of the tree.
//
// A cursor is either attached (to a cached page, whose cursor list holds it;
// its record is a node of that page's tree, or none) or detached (no page;
// its record is a key copy that the cursor owns, or none). A page that
// splits, loses a record through Delete, or is dropped from the cache
// detaches every cursor on it onto a key copy of its record; the next
// CursorCurrent finds the record again by that key.
#pragma once

#include <cstdint>

#include "engine/storage/record_node.h"

namespace vantrose {

class FileStore;
class Page;

class Cursor {
 public:
  Cursor() = default;
  explicit Cursor(FileStore& store) { store_ = &store; }
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;
  ~Cursor();

  FileStore* store() const { return store_; }
  bool attached() const { return page_ != nullptr; }

 private:
  friend void CursorInit(Cursor&, FileStore&);
  friend RecordNode* CursorCurrent(Cursor&);
  friend void CursorSet(Cursor&, RecordNodePtr, bool);
  friend void CursorSetAt(Cursor&, const RecordNode&);
  friend void CursorRelease(Cursor&);
  friend void CursorInsert(Cursor&, RecordNodePtr);
  friend void CursorDelete(Cursor&);
  friend void CursorMarkChanged(Cursor&);
  friend void DetachCursors(Page&);
  friend void AttachCursor(Cursor&, Page*, RecordNode*);
  void Detach();

  FileStore* store_ = nullptr;
  Page* page_ = nullptr;
  Cursor* next_ = nullptr;       // next cursor on the same page
  RecordNode* record_ = nullptr; // attached: a node of page_; detached: owned
};

// No page, no record, on store.
void CursorInit(Cursor& cursor, FileStore& store);

// The cursor's record, or none. A detached cursor first looks its key up
// (FindForCursor) and attaches to the leaf found; the empty record answers
// none. Syncs first (report 256 on failure).
RecordNode* CursorCurrent(Cursor& cursor);

// Detaches the cursor onto record: with insert, record is inserted into the
// tree and the cursor keeps a key copy of it; without, the cursor keeps the
// given node itself (typically a key to position on). Either way the cursor
// ends detached on that key.
void CursorSet(Cursor& cursor, RecordNodePtr record, bool insert);
// Detaches the cursor onto a key copy of record (which it does not take).
void CursorSetAt(Cursor& cursor, const RecordNode& record);

// CursorSet with no record.
void CursorRelease(Cursor& cursor);

// Inserts record. An attached cursor puts it straight into its own page,
// which is right only when the key belongs there: append in key order right
// after the cursor's record (the bulk-load pattern; no descent from the
// root). The cursor ends on the new record. Reports 231 in reader mode and
// 232 when the sync fails.
void CursorInsert(Cursor& cursor, RecordNodePtr record);

// Deletes the cursor's record and leaves the cursor on the record before it
// (attached when that lies in the same page, else detached on its key).
void CursorDelete(Cursor& cursor);

// Detaches every cursor on page onto a key copy of its record (the page is
// splitting, losing a record, or leaving the cache).
void DetachCursors(Page& page);

// Marks the cursor's page changed after the caller changed its record's
// bytes in place (lengths unchanged). Report 337 in reader mode.
void CursorMarkChanged(Cursor& cursor);

}  // namespace vantrose
