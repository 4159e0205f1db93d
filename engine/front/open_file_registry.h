// OpenFileRegistry: one FileStore per physical file per process.
//
// Every table open acquires its file here, every close releases it. The
// first acquire of a file opens a new FileStore with that acquire's mode and
// owner; later acquires of the same file share it (their mode and owner are
// not applied) and count it. The last release closes the store.
//
// Two names mean one file when they reach the same device and inode (so a
// symbolic link or a second spelling does not split a file into two stores,
// and two names differing only in letter case stay two files); a file that
// does not exist yet is known by its resolved path.
//
// The registry is process-wide and used from the caller's thread only.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <string_view>

namespace vantrose {

class FileStore;

class OpenFileRegistry {
 public:
  static OpenFileRegistry& Instance();

  // The store of `path`, opened with `mode` and `owner` unless the file is
  // already in the registry. Answers the open's result; the store is counted
  // and returned in *store even when its open failed, so that the caller's
  // Release undoes the acquire in every case.
  int32_t Acquire(const std::string& path, std::string_view owner, uint32_t mode, FileStore** store);

  // Uncounts the store; the last release closes it (answering the close's
  // commit result) and forgets it; an earlier one only leaves write mode.
  int32_t Release(FileStore* store);

  // How many acquires hold the store (0 when it is not registered).
  uint32_t References(const FileStore* store) const;

  // The registered store of the file `path` names, or none.
  FileStore* Find(const std::string& path) const;

  // True when the two paths name one file (by device and inode when both
  // exist, else by their resolved text).
  static bool SameFile(const std::string& a, const std::string& b);

  size_t size() const { return entries_.size(); }

 private:
  struct Entry;
  Entry* FindEntry(const std::string& path);
  const Entry* FindEntry(const std::string& path) const;

  std::list<std::unique_ptr<Entry>> entries_;
};

}  // namespace vantrose
