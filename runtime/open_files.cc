#include "runtime/open_files.h"

#include <algorithm>
#include <vector>

#include "runtime/declared.h"

namespace vantrose {
namespace {

// The engine's CLOSE operation (runtime sits below the engine and cannot see
// its operation table).
constexpr int32_t kCloseOperation = 7;

struct Registered {
  DeclaredFile* file;
  uint32_t mode;
  bool opened;  // a successful OPEN or SHARE recorded its mode
};

// Invariant: each file at most once; opened files in the order of their last
// successful OPEN, the most recent last.
std::vector<Registered>& Registry() {
  static std::vector<Registered> registry;
  return registry;
}

std::vector<Registered>::iterator Find(const DeclaredFile* file) {
  std::vector<Registered>& registry = Registry();
  return std::find_if(registry.begin(), registry.end(),
                      [file](const Registered& r) { return r.file == file; });
}

}  // namespace

void RegisterDeclaredFile(DeclaredFile* file) {
  auto it = Find(file);
  if (it != Registry().end()) {
    *it = Registered{file, 0, false};
    return;
  }
  Registry().push_back(Registered{file, 0, false});
}

void UpdateDeclaredFileMode(DeclaredFile* file, uint32_t mode) {
  auto it = Find(file);
  if (it != Registry().end()) Registry().erase(it);
  Registry().push_back(Registered{file, mode, true});
}

void ForgetDeclaredFile(DeclaredFile* file) {
  auto it = Find(file);
  if (it != Registry().end()) Registry().erase(it);
}

bool IsDeclaredFileRegistered(const DeclaredFile* file) { return Find(file) != Registry().end(); }

void CloseAllDeclaredFiles() {
  // CLOSE makes the engine forget the file, which changes the registry while
  // we walk it: work from a snapshot, most recently opened first.
  std::vector<DeclaredFile*> open;
  for (const Registered& r : Registry()) {
    if (r.opened) open.push_back(r.file);
  }
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    DeclaredFile* file = *it;
    if (!IsDeclaredFileRegistered(file) || file->entry == nullptr) continue;
    file->entry(kCloseOperation, *file, EngineArgs{});
    // A CLOSE that failed leaves the file registered; the program is ending
    // and there is nobody left to tell, so it is not retried.
  }
}

}  // namespace vantrose
