#include "engine/front/build_operations.h"

#include <memory>
#include <vector>

#include "engine/front/open_file_state.h"
#include "engine/front/table_open.h"
#include "engine/storage/corruption.h"
#include "engine/storage/os_file.h"
#include "engine/table/build_filter.h"
#include "engine/table/component_text.h"
#include "engine/table/key_build.h"
#include "runtime/error_state.h"

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

// The key argument is held by its number: a table opened for the build
// from a declaration without record buffer takes its descriptors from the
// file, which replaces the ones the argument pointed at. The entry goes on
// with the descriptor handed back in the context, none until the open has
// settled which descriptors stand.
int32_t BuildKeyOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  FullBuildRequestClear clear(state);
  const uint32_t number = context.key->number;
  context.key = nullptr;
  return RunOnOpenTable(state, [&] {
    if (number >= state.keys.size()) {
      // The file's table has fewer keys than the declaration.
      context.key = nullptr;
      return static_cast<int32_t>(ERR_INVALID_KEY_FILE);
    }
    context.key = &state.keys[number];
    return BuildKey(state, *context.key);
  });
}

int32_t PackOperation(OperationContext& context) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  return RunOnOpenTable(state, [&] { return BuildAll(state, true); });
}

namespace {

// Parses the component text, compiles the filter and only then replaces the
// key's components and builds.
int32_t BuildDynamic(OperationContext& context, std::string_view filter_text) {
  OpenFileState& state = static_cast<OpenFileState&>(context.state);
  FullBuildRequestClear clear(state);
  KeyDescriptor& key = *context.key;
  if (context.first_string.empty()) return ERR_NO_MEMORY;
  if ((key.flags & KEY_DYNAMIC) == 0) return kInvalidIndexString;
  std::vector<KeyComponent> components;
  if (int32_t rc = ParseComponentText(state.fields, context.first_string, &components); rc != 0) {
    return rc;
  }
  std::unique_ptr<BuildFilter> filter;
  if (!filter_text.empty()) {
    if (int32_t rc = BuildFilter::Compile(state, filter_text, &filter); rc != 0) return rc;
  }
  key.components = std::move(components);
  // A sequence position on the index holds an entry of its old entries,
  // which no longer tells where the sequence stands: it ends here, and the
  // next read asks for a new SET (33 until then).
  if (state.current_key == &key || state.position_key == &key) state.flags &= ~FS_POSITIONED;
  return BuildKey(state, key, filter.get());
}

}  // namespace

int32_t BuildDynamicOperation(OperationContext& context) { return BuildDynamic(context, {}); }

// The caller pushes the filter, then the components: the components are
// popped first.
int32_t BuildDynamicFilterOperation(OperationContext& context) {
  return BuildDynamic(context, context.second_string);
}

}  // namespace vantrose
