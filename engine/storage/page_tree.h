// The page tree: every stored record of a file, of every table and kind, in
// one tree of pages ordered by CompareKeys.
//
//   level 2 (root)          [ e0 | e1 ]
//                            |       |
//   level 1        [ e0 | e1 | e2 ]   [ e3 | e4 ]        index entries
//                   |    |     |        |     |
//   level 0      [leaf] [leaf] [leaf] [leaf] [leaf]      records
//
// Invariants:
//  1. The tree always holds the empty record (L = 0, K = 0); it sorts first,
//     so every floor search succeeds and the first leaf is never empty. It is
//     inserted when the root of a new file is made and never removed.
//  2. An index entry is a key copy (L = K) of the first record of its child
//     page plus the child's page number; a page at level n + 1 holds the
//     entries of pages at level n, in key order.
//  3. No page but the root is empty: a page that loses its last record is
//     freed at once, and its entry with it.
//  4. The root's number is the header's root page and never changes: when
//     the root splits, its records move down into a new page. The root's
//     level is the height of the tree.
//
// Every operation that fetches the root first syncs the store, waiting
// (report 1013 on failure). Changing operations need writer mode (reports
// 1194, 1203) and mark the store changed. Searches answer nodes owned by the
// tree: they stay valid until the next change of the tree or of the cache
// (a later fetch may drop clean pages); keep a Cursor to hold a position.
#pragma once

#include <cstdint>

#include "engine/storage/record_node.h"

namespace vantrose {

class FileStore;
class Page;

// A page is full, and splits, when its size estimate exceeds 15094, or 4096
// with more than 20 records.
constexpr uint32_t kPageFullEstimate = 15094;
constexpr uint32_t kPageCrowdedEstimate = 4096;
constexpr uint32_t kPageCrowdedCount = 20;
// Size estimate of a page without records: the page image header.
constexpr uint32_t kEmptyPageEstimate = 13;
// What one record adds to its page's estimate: L + 5 in a leaf, L + 9 above.
inline uint32_t EstimateOf(const RecordNode& record, uint8_t level) {
  return record.total_length() + (level == 0 ? 5u : 9u);
}

// The root page, created (holding the empty record) on the first call in
// writer mode on a new file; report 1194 in reader mode on a new file.
Page* RootPage(FileStore& store);

// The record whose key equals key, or none. The empty key finds the empty
// record.
RecordNode* FindExact(FileStore& store, KeyBytes key);

// The leaf where key belongs and the record with that key there, or none.
struct LeafPosition {
  Page* leaf;
  RecordNode* record;
};
LeafPosition FindForCursor(FileStore& store, KeyBytes key);

// The greatest record whose key is smaller than key, or none when that is
// the empty record. key must not be empty.
RecordNode* FindPrevious(FileStore& store, KeyBytes key);

// The smallest record whose key is greater than that of record, or none.
// record may be a node of the tree or a detached key copy.
RecordNode* FindNext(FileStore& store, const RecordNode& record);

// Inserts a record (the file owns it from now on) and answers the node as
// it now lies in the tree. A key already present is report 706.
RecordNode* Insert(FileStore& store, RecordNodePtr record);
// The same at a given level (index entries).
RecordNode* InsertAtLevel(FileStore& store, RecordNodePtr record, uint8_t level);

// Removes and frees a record found by one of the searches. A null record is
// ignored. Frees pages that become empty and re-keys parent entries when a
// page's first record goes.
void Delete(FileStore& store, RecordNode* record);

// The child page that an index entry of parent leads to, fetched through the
// cache. A child whose level is not one below its parent's is damage
// (kCheckTreeShape), which also keeps a damaged file from looping.
Page* ChildPage(FileStore& store, const Page& parent, const RecordNode& entry);

// Splits page if it is full (see the constants above), at the root of its
// record tree, and again as long as either half is still full. A full page
// of fewer than two records is report 1364. The root keeps its number.
//
// `appended`, when given, is a record just appended to the page in key order
// (a cursor insert): records of higher keys behind it first move to a page
// of their own, then, if still full, the page splits right before it, so
// that the records before it stay together in a page as full as the rule
// lets it be and the appending goes on in a page of its own. A bulk load in
// key order (a key build) so fills its pages instead of leaving every one of
// them half empty; the records are the same either way, only fewer pages
// hold them. When the appended record is the page's first, the page splits
// at its root.
void SplitIfFull(FileStore& store, Page* page, const RecordNode* appended = nullptr);

}  // namespace vantrose
