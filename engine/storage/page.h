// Page: one page of the page tree in memory, with the fields the page cache
// keeps for it.
//
// A page's records live in its RecordTree (key order); a page above the
// leaves holds index entries whose child_page fields name its children. The
// size estimate is an upper bound of the page's unpacked image size:
//
//   estimate = 13 + sum over records of (L + 5)            at level 0
//   estimate = 13 + sum over records of (L + 5 + 4)        above
//
// so that the split test needs no pass over the page.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/storage/record_tree.h"

namespace vantrose {

class Cursor;

// Check code of a damaged tree that no other check names: a child page whose
// level is not one below its parent's, records of a page out of key order,
// an index page without entries where one must lead on, or a page number
// given to two pages.
constexpr uint32_t kCheckTreeShape = 1895;

class Page {
 public:
  explicit Page(int32_t number) : number(number) {}
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  // Recomputes the estimate from the records (after a split moved them).
  void RecomputeEstimate();

  // Negative while the page has no place in the file.
  int32_t number;
  uint8_t level = 0;
  uint32_t estimate = 13;
  RecordTree records;
  bool loaded = false;
  bool changed = false;
  Cursor* cursors = nullptr;  // attached cursors, linked through Cursor::next_

  // Page cache fields. A page is on exactly one of the cache's two lists.
  Page* older = nullptr;
  Page* newer = nullptr;
  uint32_t last_use = 0;   // access clock at the last touch
  uint32_t created = 0;    // access clock when the page entered the cache
  uint32_t use_count = 0;
  // Held by an operation that keeps the page across further fetches; the
  // trimming of the clean list never drops a pinned page.
  uint32_t pins = 0;
  // Built image waiting to be written by the running commit (empty if none).
  std::vector<uint8_t> image;
  // A page fetched only to be moved to another slot (PageCache::GetForMove)
  // is not loaded: it holds its image as read and the key of its first
  // record, which is all a move needs. Any other fetch loads it.
  std::vector<uint8_t> first_key;
};

// Keeps a page from being dropped by cache trimming while held.
class PagePin {
 public:
  explicit PagePin(Page* page) : page_(page) { ++page_->pins; }
  ~PagePin() { --page_->pins; }
  PagePin(const PagePin&) = delete;
  PagePin& operator=(const PagePin&) = delete;

 private:
  Page* page_;
};

}  // namespace vantrose
