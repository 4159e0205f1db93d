// Files for tests of every layer: a scratch directory of their own under
// $TMPDIR, and whole files written and read back as bytes.
#pragma once

#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace vantrose::testing {

// A fresh directory under $TMPDIR, removed with its contents. Its name is
// unique, so test programs running side by side never share one. When it
// cannot be made the constructor throws, failing the test, rather than let
// the test's files land elsewhere.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/vantrose-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      throw std::filesystem::filesystem_error("cannot make a scratch directory", pattern,
                                              std::error_code(errno, std::generic_category()));
    }
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// The whole file; empty when it cannot be read.
inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The whole file as text, for comparing files with each other or with
// literal contents; empty when it cannot be read.
inline std::string Contents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace vantrose::testing
