#include "engine/front/file_operations.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "engine/front/open_file_registry.h"
#include "engine/front/open_file_state.h"
#include "engine/front/path_names.h"
#include "engine/front/table_open.h"
#include "engine/storage/byte_order.h"
#include "engine/storage/commit.h"
#include "engine/storage/corruption.h"
#include "engine/storage/file_store.h"
#include "engine/storage/page_tree.h"
#include "engine/table/record_kinds.h"
#include "engine/table/table_records.h"
#include "platform/file_system.h"
#include "platform/os_error.h"

namespace vantrose {

namespace {

constexpr int32_t kAccessDenied = 5;
constexpr int32_t kInvalidFilename = 45;
constexpr size_t kCopyBlock = 1 << 16;

bool HasTablePart(std::string_view name) { return name.find(kTableSeparator) != std::string_view::npos; }

// The target as the caller gave it, without surrounding blanks. Letter case
// is kept: on this file system it tells files apart (table names are
// upper-cased when the name is split).
std::string NormaliseTarget(std::string_view target) { return std::string(TrimBlanks(target)); }

// Syncs the directory holding `path`, so that a rename into it lasts.
void SyncDirectoryOf(const std::string& path) {
  std::string directory(path, 0, path.rfind('/') == 0 ? 1 : path.rfind('/'));
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

int32_t CopyContents(FileSystem& fs, FileHandle in, FileHandle out) {
  std::vector<uint8_t> buffer(kCopyBlock);
  for (uint64_t offset = 0;;) {
    size_t got = 0;
    if (int32_t rc = fs.ReadAt(in, offset, buffer.data(), buffer.size(), &got); rc != 0) return rc;
    if (got == 0) return 0;
    size_t written = 0;
    if (int32_t rc = fs.WriteAt(out, offset, buffer.data(), got, &written); rc != 0) return rc;
    offset += got;
  }
}

}  // namespace

int32_t CopyWholeFile(const std::string& from, const std::string& to) {
  FileSystem& fs = CurrentFileSystem();
  FileHandle in = kNoFile;
  FileOpenRequest reading;  // read, letting others read and write
  if (int32_t rc = fs.Open(from, reading, &in); rc != 0) return rc;

  const std::string temporary = to + ".~" + std::to_string(::getpid());
  FileOpenRequest writing;
  writing.write = true;
  writing.share_read = false;
  writing.share_write = false;
  writing.create = true;
  FileHandle out = kNoFile;
  int32_t rc = fs.Open(temporary, writing, &out);
  if (rc == 0) {
    rc = fs.Truncate(out, 0);
    if (rc == 0) rc = CopyContents(fs, in, out);
    if (rc == 0) rc = fs.Flush(out);
    int32_t closed = fs.Close(out);
    if (rc == 0) rc = closed;
  }
  fs.Close(in);
  if (rc == 0 && ::rename(temporary.c_str(), to.c_str()) != 0) rc = OsErrorFromErrno(errno);
  if (rc != 0) {
    fs.Delete(temporary);
    return rc;
  }
  SyncDirectoryOf(to);
  return 0;
}

namespace {

// Moves a file to a name that is not taken. A move never replaces an
// existing file: the file under the destination name would be lost without
// a trace (a RENAME onto an existing table file goes the table path, which
// refuses an existing table with 5).
int32_t MoveFileNoReplace(const std::string& from, const std::string& to) {
  int rc = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
  if (rc != 0 && errno == EINVAL) {
    // A file system without the no-replace rename: test, then rename.
    if (::access(to.c_str(), F_OK) == 0) return OS_ERROR_FILE_EXISTS;
    rc = ::rename(from.c_str(), to.c_str());
  }
  if (rc == 0) {
    SyncDirectoryOf(to);
    return 0;
  }
  return errno == ENAMETOOLONG ? kInvalidFilename : OsErrorFromErrno(errno);
}

// The whole-file path of COPY and RENAME.
int32_t CopyOrMoveFile(OpenFileState& state, const std::string& target, bool move) {
  std::string source;
  if (int32_t rc = ResolveFullPath(state.name, kDefaultExtension, false, &source); rc != 0) return rc;
  std::string destination;
  if (IsExistingDirectory(target)) {
    destination = target + "/" + std::string(BaseName(source));
  } else {
    std::string_view extension = ExtensionOf(source);
    if (int32_t rc = ResolveFullPath(target, extension.empty() ? "." : extension, false, &destination);
        rc != 0) {
      return rc;
    }
  }
  if (OpenFileRegistry::SameFile(source, destination)) return 0;
  if (!move) return CopyWholeFile(source, destination);
  return MoveFileNoReplace(source, destination);
}

// Moves the record numbers of a copied record past `base`: data records and
// memo pieces by their key, index entries by their last four bytes, a key's
// first record not yet indexed when set. The data statistics record's second
// word is the table's FLAGS word, a value of the caller's and no record
// number: it is copied as it is. Answers the highest record number the
// record now carries (0 for none).
uint32_t Renumber(RecordNode& record, uint32_t table, uint32_t base) {
  uint8_t* bytes = record.bytes();
  StoreBE32(bytes, table);
  if (record.key_length() < kTablePrefixLength) return 0;
  uint8_t kind = KeyKind(bytes);
  uint8_t* number = nullptr;
  if ((kind == KIND_DATA || kind == KIND_MEMO) && record.key_length() >= kTablePrefixLength + 4) {
    number = bytes + kTablePrefixLength;
  } else if (IsIndexKind(kind) && record.total_length() >= kTablePrefixLength + 4) {
    number = bytes + record.total_length() - 4;
  } else if (kind == KIND_STATISTICS && record.key_length() == kStatisticsKeyLength &&
             bytes[kTablePrefixLength] != kDataSubject &&
             record.data().size() >= kStatisticsDataLength) {
    uint8_t* word = record.mutable_data().data() + 4;
    uint32_t value = LoadLE32(word);
    if (value != 0) StoreLE32(word, value + base);
    return 0;
  }
  if (number == nullptr) return 0;
  uint32_t moved = LoadBE32(number) + base;
  StoreBE32(number, moved);
  return moved;
}

// Copies every record of `table` in `from` into `to` under `new_table`,
// renumbered past `base`; with `move` each source record is deleted once
// copied. Answers the highest record number produced.
uint32_t CopyTableRecords(FileStore& from, uint32_t table, FileStore& to, uint32_t new_table,
                          uint32_t base, bool move) {
  uint8_t start[4];
  StoreBE32(start, table);
  RecordNodePtr position = RecordNode::FromBytes(KeyBytes(start, 4));
  uint32_t highest = base;
  for (;;) {
    RecordNode* record = FindNext(from, *position);
    if (record == nullptr || record->key_length() < 4 || KeyTable(record->bytes()) != table) break;
    // The search answer is invalid after the tree changes: keep its key.
    position = RecordNode::KeyCopy(*record);
    RecordNodePtr copy = RecordNode::FullCopy(*record);
    if (move) Delete(from, record);
    highest = std::max(highest, Renumber(*copy, new_table, base));
    Insert(to, std::move(copy));
  }
  return highest;
}

// Resources of a table copy, released on every path.
struct TableCopy {
  explicit TableCopy(OpenFileState& source_state) : source(source_state) {}

  OpenFileState& source;
  FileStore* target = nullptr;
  std::string target_path;
  bool target_existed = false;

  // Drops everything uncommitted in both files and closes them; a target
  // file that this copy created is removed again. A store that another
  // declared file of the program also holds keeps its changes: they may be
  // that file's own.
  void Fail() {
    OpenFileRegistry& registry = OpenFileRegistry::Instance();
    FileStore* from = source.store;
    uint32_t own_references = target == from ? 2 : 1;
    if (from != nullptr && from->opened && registry.References(from) == own_references) {
      Abandon(*from);
    }
    if (target != nullptr && target != from && target->opened && registry.References(target) == 1) {
      Abandon(*target);
    }
    AbandonAndCloseTable(source);
    ReleaseTarget();
    if (!target_existed && !target_path.empty() && registry.Find(target_path) == nullptr) {
      CurrentFileSystem().Delete(target_path);
    }
  }
  int32_t ReleaseTarget() {
    FileStore* store = target;
    target = nullptr;
    return store != nullptr ? OpenFileRegistry::Instance().Release(store) : 0;
  }
};

int32_t CopyOrMoveTable(OpenFileState& state, const std::string& target_name, bool move) {
  TableName target = SplitTableName(target_name);
  TableCopy copy(state);
  if (int32_t rc = ResolveFullPath(target.file, kDefaultExtension, false, &copy.target_path); rc != 0) {
    return rc;
  }
  // The source first: a copy whose source cannot be opened must not touch
  // (or create) the target.
  if (int32_t rc = OpenTable(state, MODE_SHARED_READ_WRITE, move); rc != 0) {
    AbandonAndCloseTable(state);
    return rc;
  }
  const std::string source_name = SplitTableName(state.name).table;
  copy.target_existed = ::access(copy.target_path.c_str(), F_OK) == 0;
  try {
    int32_t rc = OpenFileRegistry::Instance().Acquire(copy.target_path, state.owner,
                                                      MODE_CREATE_TABLE, &copy.target);
    if (rc == 0) rc = EnterWriteMode(*copy.target);
    if (rc != 0) {
      copy.Fail();
      return rc;
    }
    FileStore& to = *copy.target;
    const bool same_file = &to == state.store;
    if (same_file && target.table == source_name) {
      // A table copied onto itself: nothing to do (a rename to its own name
      // puts back the name record it removed).
      if (move) InsertTableName(to, target.table, state.table_number);
      copy.ReleaseTarget();
      return CloseTable(state);
    }
    uint32_t existing = 0;
    if (FindTableNumber(to, target.table, &existing)) {
      if (move) {
        copy.Fail();
        return kAccessDenied;
      }
      Delete(to, FindTableName(to, target.table));
      DeleteTableRecords(to, existing);
    }
    uint32_t new_table = state.table_number;
    if (!(move && same_file)) {
      new_table = NextNumber(to);
      uint32_t base = NextNumber(to);
      uint32_t highest = CopyTableRecords(*state.store, state.table_number, to, new_table, base, move);
      std::array<uint8_t, 4> counter;
      StoreBE32(counter.data(), highest);
      SetSequence(to, counter);
    }
    InsertTableName(to, target.table, new_table);
    if (rc = Commit(to); rc != 0) {
      copy.Fail();
      return rc;
    }
    rc = CloseTable(state);
    int32_t released = copy.ReleaseTarget();
    return rc != 0 ? rc : released;
  } catch (const CorruptionUnwind&) {
    copy.Fail();
    throw;
  }
}

// Deletes the file unless another program has it open: removing a file from
// under its users would lose what they write to it later. The table stays
// then, and the error is the sharing violation's.
int32_t DeleteUnusedFile(const std::string& path) {
  FileSystem& fs = CurrentFileSystem();
  FileOpenRequest alone;
  alone.write = true;
  alone.share_read = false;
  alone.share_write = false;
  FileHandle handle = kNoFile;
  if (int32_t rc = fs.Open(path, alone, &handle); rc != 0) {
    return rc == OS_ERROR_SHARING_VIOLATION ? kAccessDenied : rc;
  }
  int32_t rc = fs.Delete(path);
  fs.Close(handle);
  return rc;
}

int32_t CopyOrMove(OperationContext& context, bool move) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  std::string target = NormaliseTarget(context.first_string);
  if (target.empty()) return 0;
  bool declared_table = state.declared != nullptr &&
                        HasTablePart(DeclaredTextBytes(state.declared->name));
  if (!HasTablePart(target) && !declared_table && !HasTablePart(state.name)) {
    if (CopyOrMoveFile(state, target, move) == 0) return 0;
  }
  return CopyOrMoveTable(state, target, move);
}

}  // namespace

int32_t CopyOperation(OperationContext& context) { return CopyOrMove(context, false); }
int32_t RenameOperation(OperationContext& context) { return CopyOrMove(context, true); }

int32_t RemoveOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  try {
    int32_t rc = OpenTable(state, MODE_SHARED_READ_WRITE, true);
    // A table whose definition differs from the declaration can still go.
    if (rc != 0 && !(rc == 47 && state.store != nullptr && state.store->opened)) {
      AbandonAndCloseTable(state);
      return rc;
    }
    FileStore& store = *state.store;
    if (AnyTableName(store) || OpenFileRegistry::Instance().References(&store) > 1) {
      // Other tables remain (or another declared file of this program has
      // the file open): only this table goes.
      if (rc = EnterWriteMode(store); rc != 0) {
        AbandonAndCloseTable(state);
        return rc;
      }
      DeleteTable(state);
      return CloseTable(state);
    }
    std::string path;
    ResolveFullPath(SplitTableName(state.name).file, kDefaultExtension, false, &path);
    AbandonAndCloseTable(state);
    return DeleteUnusedFile(path);
  } catch (const CorruptionUnwind&) {
    AbandonAndCloseTable(state);
    throw;
  }
}

}  // namespace vantrose
