#include "engine/front/open_file_registry.h"

#include <sys/stat.h>

#include "engine/storage/commit.h"
#include "engine/storage/file_store.h"

namespace vantrose {

namespace {

struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
};

FileIdentity IdentityOf(const std::string& path) {
  struct stat info;
  FileIdentity identity;
  if (::stat(path.c_str(), &info) == 0) {
    identity.exists = true;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
  }
  return identity;
}

bool Same(const FileIdentity& a, const std::string& a_path, const FileIdentity& b,
          const std::string& b_path) {
  if (a.exists && b.exists) return a.device == b.device && a.inode == b.inode;
  return a_path == b_path;
}

}  // namespace

struct OpenFileRegistry::Entry {
  std::string path;
  FileIdentity identity;  // taken once the store is open
  FileStore store;
  uint32_t references = 0;
};

OpenFileRegistry& OpenFileRegistry::Instance() {
  static OpenFileRegistry registry;
  return registry;
}

bool OpenFileRegistry::SameFile(const std::string& a, const std::string& b) {
  return Same(IdentityOf(a), a, IdentityOf(b), b);
}

OpenFileRegistry::Entry* OpenFileRegistry::FindEntry(const std::string& path) {
  FileIdentity identity = IdentityOf(path);
  for (auto& entry : entries_) {
    if (Same(entry->identity, entry->path, identity, path)) return entry.get();
  }
  return nullptr;
}

const OpenFileRegistry::Entry* OpenFileRegistry::FindEntry(const std::string& path) const {
  return const_cast<OpenFileRegistry*>(this)->FindEntry(path);
}

FileStore* OpenFileRegistry::Find(const std::string& path) const {
  const Entry* entry = FindEntry(path);
  return entry != nullptr ? const_cast<FileStore*>(&entry->store) : nullptr;
}

int32_t OpenFileRegistry::Acquire(const std::string& path, std::string_view owner, uint32_t mode,
                                  FileStore** store) {
  if (Entry* entry = FindEntry(path)) {
    ++entry->references;
    *store = &entry->store;
    return 0;
  }
  entries_.push_front(std::make_unique<Entry>());
  Entry& entry = *entries_.front();
  entry.path = path;
  entry.references = 1;
  *store = &entry.store;
  int32_t result = StoreOpen(entry.store, path, mode, owner);
  // A file made by this open exists only now: know it by its inode from here.
  entry.identity = IdentityOf(path);
  return result;
}

uint32_t OpenFileRegistry::References(const FileStore* store) const {
  for (const auto& entry : entries_) {
    if (&entry->store == store) return entry->references;
  }
  return 0;
}

int32_t OpenFileRegistry::Release(FileStore* store) {
  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    Entry& entry = **it;
    if (&entry.store != store) continue;
    if (--entry.references > 0) return LeaveWriteMode(*store);
    // Out of the list before the close: a close that reports corruption
    // still frees the store and leaves no entry behind.
    std::unique_ptr<Entry> last = std::move(*it);
    entries_.erase(it);
    return last->store.opened ? StoreClose(last->store) : 0;
  }
  return 0;
}

}  // namespace vantrose
