// Helpers for storage tests: a scratch directory and corruption reports
// caught as values.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/storage/corruption.h"

namespace vantrose::testing {

// A fresh directory under $TMPDIR, removed with its contents.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/vantrose-XXXXXX";
    path_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Corruption reports unwind as exceptions from here on, as inside an engine
// operation (the state is process-wide and stays set).
inline void ReportCorruptionAsUnwind() { MarkEngineOperationInProgress(); }

// The check code that `action` reported, or 0 when it reported none.
template <typename Action>
uint32_t CorruptionCode(Action&& action) {
  ReportCorruptionAsUnwind();
  try {
    action();
  } catch (const CorruptionUnwind& unwind) {
    return unwind.code;
  }
  return 0;
}

}  // namespace vantrose::testing
