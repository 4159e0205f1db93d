#include "tests/app/scripted_engine.h"

#include <cstdio>
#include <cstring>

#include "app/declarations.h"
#include "engine/front/engine_entry.h"
#include "engine/front/operations.h"
#include "runtime/error_state.h"
#include "runtime/open_files.h"
#include "runtime/string_stack.h"

namespace vantrose {
namespace {

ScriptedEngine* g_engine = nullptr;

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

std::string DeclaredName(const DeclaredFile& file) {
  return Trimmed(std::string_view(file.name.text, static_cast<size_t>(file.name.length)));
}

// Record n of the scripted source: BUYPRICE n, VALUE -n, text elsewhere.
void FillSourceRecord(int n) {
  std::memset(InRecord.data(), 'a' + n % 26, InRecord.size());
  const int32_t buy = n, value = -n;
  std::memcpy(InRecord.data() + kBuyPriceOffset, &buy, 4);
  std::memcpy(InRecord.data() + kValueOffset, &value, 4);
}

}  // namespace

ScriptedEngine::ScriptedEngine(std::vector<std::string>* journal) : journal(journal) {
  g_engine = this;
  REELBIN1.entry = &ScriptedEngineEntry;
  REELBIN2.entry = &ScriptedEngineEntry;
}

ScriptedEngine::~ScriptedEngine() {
  ForgetDeclaredFile(&REELBIN1);
  ForgetDeclaredFile(&REELBIN2);
  REELBIN1.entry = &EngineEntry;
  REELBIN2.entry = &EngineEntry;
  ClearError();
  while (StringStackDepth() > 0) PopString();
  g_engine = nullptr;
}

int32_t ScriptedEngineEntry(int32_t operation, DeclaredFile& file, const EngineArgs& args) {
  ScriptedEngine& engine = *g_engine;
  const std::string call = std::string(OperationName(operation)) + " " + file.label;
  const int n = ++engine.calls[call];
  std::string entry = call;
  if (operation == op::OPEN) {
    char mode[16];
    std::snprintf(mode, sizeof mode, " 0x%x", static_cast<unsigned>(args.cells[0]));
    entry += mode;
  }
  if (operation == op::COPY) entry += " " + Trimmed(PopString());
  engine.journal->push_back(entry);

  if (!IsDeclaredFileRegistered(&file)) RegisterDeclaredFile(&file);
  ClearError();
  int32_t code = 0;
  for (const ScriptedEngine::Failure& failure : engine.failures) {
    if (failure.call == call && n >= failure.from) code = failure.code;
  }
  if (code == 0 && (operation == op::OPEN || operation == op::CREATE) && DeclaredName(file).empty()) {
    code = ERR_INVALID_FILENAME;
  }
  if (operation == op::NEXT) {
    // The source ends after `records`, and in any case after a hundred more
    // reads, so that a procedure that ignores NEXT errors fails its test
    // instead of looping for ever.
    if (n > engine.records + (code == 0 ? 0 : 100)) {
      code = ERR_RECORD_NOT_AVAILABLE;
    } else if (code == 0) {
      FillSourceRecord(n);
    }
  }
  if (code == 0 && operation == op::APPEND) {
    std::vector<uint8_t> money(MovRecord.begin() + kBuyPriceOffset,
                               MovRecord.begin() + kBuyPriceOffset + 4);
    money.insert(money.end(), MovRecord.begin() + kValueOffset, MovRecord.begin() + kValueOffset + 4);
    engine.appended_money.push_back(money);
  }
  if (code == 0 && operation == op::OPEN) UpdateDeclaredFileMode(&file, static_cast<uint32_t>(args.cells[0]));
  // CLOSE discards the state whatever its outcome.
  if (operation == op::CLOSE) ForgetDeclaredFile(&file);
  if (code != 0) PostFileError(code, &file);
  return 0;
}

}  // namespace vantrose
