#include "engine/front/build_operations.h"

#include "engine/front/open_file_state.h"
#include "engine/front/table_open.h"
#include "engine/storage/corruption.h"
#include "engine/storage/os_file.h"
#include "engine/table/key_build.h"

namespace vantrose {
namespace {

// How a build opens a table that is not open: read and write, others may
// only read.
constexpr uint32_t kBuildOpenMode = OPEN_READ_WRITE | OPEN_DENY_WRITE;

template <typename Build>
int32_t RunOnOpenTable(OpenFileState& state, Build build) {
  if ((state.flags & FS_OPEN) != 0) return build();
  int32_t rc;
  try {
    rc = OpenTable(state, kBuildOpenMode, false);
    if (rc == 0) rc = build();
  } catch (const CorruptionUnwind&) {
    AbandonAndCloseTable(state);
    throw;
  }
  if ((state.table_flags & RS_OPEN) == 0) return rc;
  const int32_t closed = CloseTable(state);
  return rc != 0 ? rc : closed;
}

// Clears the one-build request on every way out, the unwind of a
// corruption report included.
class FullBuildRequestClear {
 public:
  explicit FullBuildRequestClear(TableState& state) : state_(state) {}
  ~FullBuildRequestClear() { state_.table_flags &= static_cast<uint16_t>(~RS_FULLBUILD); }
  FullBuildRequestClear(const FullBuildRequestClear&) = delete;
  FullBuildRequestClear& operator=(const FullBuildRequestClear&) = delete;

 private:
  TableState& state_;
};

}  // namespace

int32_t BuildFileOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  FullBuildRequestClear clear(state);
  return RunOnOpenTable(state, [&] { return BuildAll(state, false); });
}

int32_t BuildKeyOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  FullBuildRequestClear clear(state);
  return RunOnOpenTable(state, [&] { return BuildKey(state, *context.key); });
}

int32_t PackOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  return RunOnOpenTable(state, [&] { return BuildAll(state, true); });
}

}  // namespace vantrose
