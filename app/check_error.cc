#include "app/check_error.h"

#include "runtime/error_state.h"

namespace vantrose {

int32_t CheckError(UserInterface& ui) {
  if (Errors().code == 0) return 0;
  // The box keeps the error state across its own work, so that what the
  // caller sees afterwards is still the error that was shown.
  const ErrorState saved = Errors();
  ui.MessageBox("Error: " + ErrorText());
  Errors() = saved;
  return saved.code;
}

}  // namespace vantrose
