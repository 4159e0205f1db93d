#include "runtime/error_state.h"

#include <string>

#include "platform/os_error.h"

namespace vantrose {
namespace {

// Widths of the blank-padded texts of the error state.
constexpr size_t kErrorTextWidth = 80;
constexpr size_t kErrorTextKept = 79;
constexpr size_t kFileErrorCodeWidth = 81;
constexpr size_t kFileErrorMessageWidth = 255;
// Posting 0 means "the operating system's last error": 300 + its number.
constexpr int32_t kOsErrorBase = 300;

// `text` cut to `width` characters and blank-padded to `width`.
std::string Padded(std::string_view text, size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

ErrorState Cleared() {
  ErrorState state;
  state.text = Padded({}, kErrorTextWidth);
  state.file_error_code = Padded({}, kFileErrorCodeWidth);
  state.file_error_message = Padded({}, kFileErrorMessageWidth);
  return state;
}

}  // namespace

int32_t LastOsError() { return LastOsErrorNumber(); }

ErrorState& Errors() {
  static ErrorState state = Cleared();
  return state;
}

void PostError(int32_t code) {
  if (code == 0) code = kOsErrorBase + LastOsError();
  std::string text(MessageText(code));
  if (text.empty()) text = "Unknown Error Posted : " + std::to_string(code);
  size_t first = text.find_first_not_of(' ');
  std::string_view kept = first == std::string::npos
                              ? std::string_view()
                              : std::string_view(text).substr(first, kErrorTextKept);
  ErrorState& state = Errors();
  state.code = code;
  state.text = Padded(kept, kErrorTextWidth);
  state.file = nullptr;
}

void PostFileError(int32_t code, const DeclaredFile* file) {
  PostError(code);
  Errors().file = file;
}

void ClearError() { Errors() = Cleared(); }

void SetFileErrorPair(std::string_view code_text, std::string_view message) {
  ErrorState& state = Errors();
  state.file_error_code = Padded(code_text, kFileErrorCodeWidth);
  state.file_error_message = Padded(message, kFileErrorMessageWidth);
}

std::string ErrorText() {
  const std::string& text = Errors().text;
  size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

}  // namespace vantrose
