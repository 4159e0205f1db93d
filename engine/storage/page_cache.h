// PageCache: the pages of one FileStore held in memory.
//
// Every cached page is in the page hash and on exactly one of two lists:
//
//   clean list:   unchanged pages, oldest touch first; trimmed at each fetch
//   changed list: changed pages, in the order in which they first changed;
//                 they stay until a commit writes them or they are abandoned
//
// Trimming (before each fetch): while 20 or more pages are clean, look at the
// oldest; with 100 or more drop it, otherwise drop it only when it has been
// idle for at least four times its average touch interval, (clock - last
// use) >= 4 * ((clock - creation) / clean count); else stop. Trimming never
// drops a pinned page (PagePin): it stops there.
//
// The redirect map sends reads of a home offset to a copy in a pending log
// while a store reads through a log that it may not copy home (reader mode).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "engine/storage/page.h"

namespace vantrose {

class FileStore;

class PageCache {
 public:
  // Installs the hooks through which the header sync reaches the cache.
  explicit PageCache(FileStore& store);
  PageCache(const PageCache&) = delete;
  PageCache& operator=(const PageCache&) = delete;
  ~PageCache();

  // PageGet: the page, loaded: read from its slot (or its log copy) when it
  // is not cached; a negative number not cached is the root of a new file,
  // made holding the empty record.
  Page* Get(int32_t number);
  // The page for a zone move: a cached page as it is, else a leaf as read
  // from its slot without being loaded (its image and first key only; the
  // image is written unchanged at the new place, so the move neither unpacks
  // its records nor builds its image again). A page above the leaves is
  // loaded, as the move changes its children's entries. The image is checked
  // as a load checks it.
  Page* GetForMove(int32_t number);
  // The cached page of that number, or none; no load, no touch.
  Page* Find(int32_t number) const;
  // A new, empty, loaded page under the next temporary number (changed).
  Page* NewPage(uint8_t level);
  // Takes the next temporary page number: -1, -2, ...
  int32_t NextTemporary() { return --next_temporary_; }
  // Once a commit has placed every page, no page carries a temporary number
  // and the numbering starts again.
  void RestartTemporaryNumbers() { next_temporary_ = 0; }

  void MarkChanged(Page& page);
  // A changed page that the commit has written: back to the clean list,
  // image freed; a page that was never loaded is dropped.
  void MarkClean(Page& page);
  // Gives a cached page another number (zone moves).
  void Renumber(Page& page, int32_t to);
  // Frees the page: its cursors are detached, its records freed.
  void Drop(Page* page);
  // DropCache: drops every page, clean and changed (changes are lost), and
  // the redirect map.
  void DropAll();

  // Changed pages in the order in which they changed.
  Page* OldestChanged() const { return changed_.oldest; }
  uint32_t changed_count() const { return changed_.count; }
  uint32_t clean_count() const { return clean_.count; }

  // Set between a commit's first phase (log written and marked) and its
  // second (pages copied home).
  bool home_copy_pending = false;

  // Set while the store reads the file past a pending log that it may not
  // finish (reader mode): through the log when it is whole, around it when
  // it is broken. A store that enters writer mode then rereads the header,
  // which finishes or drops the log before anything changes.
  bool pending_log_read = false;

  // The redirect map of a pending log that is being read through.
  void Redirect(uint32_t home_offset, uint32_t log_offset) { redirects_[home_offset] = log_offset; }
  void ClearRedirects() { redirects_.clear(); }
  // Where the block whose home is home_offset is to be read.
  uint32_t ReadOffsetOf(uint32_t home_offset) const;

 private:
  struct PageList {
    Page* oldest = nullptr;
    Page* newest = nullptr;
    uint32_t count = 0;
    void PushNewest(Page* page);
    void Remove(Page* page);
  };

  void Trim();
  void Touch(Page* page);
  // The page's slot as stored (or its log copy), in slot_buffer_.
  std::span<const uint8_t> ReadSlot(int32_t number);
  // Gives the page the records of `image`, its whole slot.
  void Load(Page* page, std::span<const uint8_t> image);
  Page* Cache(std::unique_ptr<Page> owned);

  FileStore& store_;
  std::unordered_map<int32_t, std::unique_ptr<Page>> pages_;
  std::unordered_map<uint32_t, uint32_t> redirects_;
  std::vector<uint8_t> slot_buffer_;  // one slot read from the file
  PageList clean_;
  PageList changed_;
  uint32_t clock_ = 0;
  int32_t next_temporary_ = 0;
};

}  // namespace vantrose
