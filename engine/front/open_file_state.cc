#include "engine/front/open_file_state.h"

#include <cstring>
#include <memory>
#include <new>

#include "engine/front/derive_descriptors.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"

namespace vantrose {
namespace {

// Clears every reference the engine wrote into the declaration.
void ClearDeclarationReferences(DeclaredFile& file) {
  if (file.keys != nullptr) {
    for (DeclaredKey& key : *file.keys) key.descriptor = nullptr;
  }
  if (file.memos != nullptr) {
    for (DeclaredMemo& memo : *file.memos) memo.buffer = nullptr;
  }
  file.state = nullptr;
}

}  // namespace

std::string_view DeclaredTextBytes(const DeclaredText& text) {
  if (text.text == nullptr) return {};
  switch (text.length) {
    case TEXT_ZERO_TERMINATED:
      return std::string_view(text.text, std::strlen(text.text));
    case TEXT_LENGTH_PREFIXED:
      return std::string_view(text.text + 1, static_cast<unsigned char>(text.text[0]));
    default:
      // Any other negative length kind is unknown: treat the text as absent.
      if (text.length < 0) return {};
      return std::string_view(text.text, static_cast<size_t>(text.length));
  }
}

std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

void RefreshDeclaredTexts(OpenFileState& state) {
  const DeclaredFile& file = *state.declared;
  if ((state.override_marks & OVERRIDE_NAME) == 0) {
    state.name.assign(TrimBlanks(DeclaredTextBytes(file.name)));
  }
  if ((state.override_marks & OVERRIDE_OWNER) == 0) {
    state.owner.assign(TrimBlanks(DeclaredTextBytes(file.owner)));
  }
  if ((state.override_marks & OVERRIDE_DRIVER) == 0) {
    state.driver_string.assign(TrimBlanks(DeclaredTextBytes(file.driver_options)));
  }
}

int32_t CreateOpenFileState(DeclaredFile& file) {
  std::unique_ptr<OpenFileState> state(new (std::nothrow) OpenFileState);
  if (!state) return ERR_NO_MEMORY;
  try {
    state->declared = &file;
    state->record_buffer = file.record_buffer;
    // The declaration's attribute bits 1..6 become the state's bits 0..5.
    state->attributes = static_cast<uint8_t>((file.attributes >> 1) & 0x3F);
    RefreshDeclaredTexts(*state);
    const int32_t error = DeriveDescriptors(file, *state);
    if (error != 0) {
      ClearDeclarationReferences(file);
      return error;
    }
  } catch (const std::bad_alloc&) {
    ClearDeclarationReferences(file);
    return ERR_NO_MEMORY;
  }
  file.state = state.release();
  RegisterDeclaredFile(&file);
  return 0;
}

void DiscardOpenFileState(DeclaredFile& file) {
  OpenFileState* state = file.state;
  if (state == nullptr) return;
  if (state->trace_file != nullptr) std::fclose(state->trace_file);
  ClearDeclarationReferences(file);
  delete state;
  ForgetDeclaredFile(&file);
}

}  // namespace vantrose
