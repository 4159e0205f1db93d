// A scripted engine entry for driving the conversion procedure in tests. It
// journals every call ("OPEN REELBIN1 0x22", "COPY REELBIN1 /home/x/crzconv.bak"),
// keeps the caller's error state and open-file registry as the engine does
// (clear, then post the call's own error; register on first use, record the
// mode of a successful OPEN, forget after CLOSE), answers NEXT with a given
// number of records and then 33, and fails the calls it is told to fail.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "runtime/declared.h"

namespace vantrose {

struct ScriptedEngine {
  struct Failure {
    std::string call;  // "APPEND REELBIN2"
    int from;          // the first failing call of that kind, counted from 1
    int32_t code;
  };

  // The procedure's two files use ScriptedEngineEntry while this lives.
  explicit ScriptedEngine(std::vector<std::string>* journal);
  ~ScriptedEngine();

  std::vector<std::string>* journal;
  int records = 0;                  // NEXT reads records 1..records, then 33
  std::vector<Failure> failures;
  std::map<std::string, int> calls;
  // The money fields of MOV:RECORD at each APPEND, as 8 bytes.
  std::vector<std::vector<uint8_t>> appended_money;
};

int32_t ScriptedEngineEntry(int32_t operation, DeclaredFile& file, const EngineArgs& args);

}  // namespace vantrose
