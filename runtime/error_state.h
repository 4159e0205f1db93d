// The process-wide error state that every file operation leaves behind, the
// message texts of the error codes, and the posting rules.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vantrose {

struct DeclaredFile;

// Error codes that file operations post (texts in the message table).
enum : int32_t {
  ERR_FILE_NOT_FOUND = 2, ERR_PATH_NOT_FOUND = 3, ERR_TOO_MANY_OPEN_FILES = 4,
  ERR_ACCESS_DENIED = 5, ERR_MEMORY_CORRUPTED = 7, ERR_NO_MEMORY = 8,
  ERR_ENTRY_NOT_FOUND = 30, ERR_FILE_LOCKED = 32, ERR_RECORD_NOT_AVAILABLE = 33,
  ERR_RECORD_NOT_FOUND = 35, ERR_INVALID_DATA_FILE = 36, ERR_FILE_NOT_OPEN = 37,
  ERR_INVALID_KEY_FILE = 38, ERR_DUPLICATE_KEY = 40, ERR_RECORD_HELD = 43,
  ERR_INVALID_FILENAME = 45, ERR_KEY_MUST_BE_REBUILT = 46, ERR_INVALID_RECORD_DECL = 47,
  ERR_CANNOT_LOG = 48, ERR_FILE_ALREADY_OPEN = 52, ERR_NO_CREATE_ATTRIBUTE = 54,
  ERR_MUST_BE_SHARED = 55, ERR_LOGOUT_ACTIVE = 56, ERR_INVALID_MEMO_FILE = 57,
  ERR_EXCLUSIVE_REQUIRED = 63, ERR_SHARING_VIOLATION = 64, ERR_CANNOT_ROLLBACK = 65,
  ERR_MEMO_MISSING = 73, ERR_INVALID_FIELD_TYPE = 75, ERR_INVALID_INDEX_STRING = 76,
  ERR_CANNOT_ACCESS_INDEX = 77, ERR_BAD_PARAMETER_COUNT = 78, ERR_UNSUPPORTED_TYPE = 79,
  ERR_UNSUPPORTED_FUNCTION = 80, ERR_UNKNOWN = 81, ERR_INVALID_KEY_LENGTH = 88,
  ERR_RECORD_CHANGED = 89, ERR_FILE_SYSTEM = 90, ERR_LOGOUT_NOT_ACTIVE = 91,
  ERR_BUILD_IN_PROGRESS = 92, ERR_BUILD_CANCELLED = 93,
};

// The text registered for a code, or empty when the code has none.
std::string_view MessageText(int32_t code);

// The operating system's last error number, as the engine's file layer last
// recorded it (Windows numbering, see platform/os_error.h).
int32_t LastOsError();

struct ErrorState {
  int32_t code = 0;                 // ERRORCODE
  std::string text;                 // ERROR: 80 characters, blank-padded
  std::string file_error_code;      // 81 characters, blank-padded
  std::string file_error_message;   // 255 characters, blank-padded
  const DeclaredFile* file = nullptr;
};

// The process-wide error state.
ErrorState& Errors();

// Posts code c: 0 becomes 300 + LastOsError(); a code without a text reads
// "Unknown Error Posted : c"; leading blanks dropped, at most 79 characters.
// The file of the error becomes none.
void PostError(int32_t code);
// Posts code c and records `file` as the file of the error.
void PostFileError(int32_t code, const DeclaredFile* file);
// Code 0, blank texts, no file.
void ClearError();
// The file-error pair that the engine sets before it posts 90.
void SetFileErrorPair(std::string_view code_text, std::string_view message);

// The error text of ERRORCODE without its padding.
std::string ErrorText();

}  // namespace vantrose
