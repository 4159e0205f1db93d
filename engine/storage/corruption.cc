#include "engine/storage/corruption.h"

#include <string>

#include "platform/fatal_error.h"

namespace vantrose {
namespace {

std::string g_current_file;
bool g_in_operation = false;
std::string g_message_4101;

}  // namespace

void SetCorruptionFile(std::string_view name) { g_current_file.assign(name); }
void MarkEngineOperationInProgress() { g_in_operation = true; }
bool EngineOperationInProgress() { return g_in_operation; }
void ClearEngineOperationInProgress() { g_in_operation = false; }
void SetCorruptionMessageText(std::string_view text) {
  g_message_4101.assign(text.substr(0, 219));
}

void ReportCorruption(uint32_t check_code) {
  std::string text;
  if (!g_current_file.empty()) {
    text = g_message_4101.empty() ? std::string("Possible data corruption in file") : g_message_4101;
  }
  if (g_in_operation) {
    throw CorruptionUnwind{check_code, text.empty() ? std::string("Vantrose File Driver Error") : text};
  }
  FatalRuntimeError(text + " (" + std::to_string(check_code) + ")");
}

}  // namespace vantrose
