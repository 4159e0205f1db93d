#include "platform/temp_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/os_error.h"

namespace vantrose {
namespace {

// Points TMPDIR at a fresh empty directory for one test.
class TempFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* base = getenv("TMPDIR");
    saved_tmpdir_ = base != nullptr ? base : "";
    std::string pattern = (base != nullptr && base[0] != '\0' ? std::string(base) : "/tmp") +
                          "/temp_file_test_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("TMPDIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    setenv("TMPDIR", saved_tmpdir_.c_str(), 1);
    rmdir(dir_.c_str());
  }

  std::vector<std::string> DirectoryEntries() const {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir_.c_str())) {
      while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) names.push_back(e->d_name);
      }
      closedir(d);
    }
    return names;
  }

  // Targets of this process's descriptors that are files of the directory.
  std::vector<std::string> OpenFilesInDirectory() const {
    std::vector<std::string> targets;
    if (DIR* d = opendir("/proc/self/fd")) {
      while (dirent* e = readdir(d)) {
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + e->d_name;
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        const std::string path(target, static_cast<size_t>(n));
        if (path.rfind(dir_ + "/", 0) == 0) targets.push_back(path);
      }
      closedir(d);
    }
    return targets;
  }

  std::string saved_tmpdir_;
  std::string dir_;
};

TEST_F(TempFileTest, HoldsWhatWasWrittenAndLeavesNoName) {
  std::unique_ptr<TempFile> file;
  ASSERT_EQ(SystemTempFiles().Create(&file), 0);
  ASSERT_NE(file, nullptr);

  // Open in TMPDIR under a "TMP" name, which is already gone from the
  // directory: a process killed now leaves nothing behind.
  const std::vector<std::string> open = OpenFilesInDirectory();
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].rfind(dir_ + "/TMP", 0), 0u) << open[0];
  EXPECT_TRUE(DirectoryEntries().empty());

  std::vector<uint8_t> data(100000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(file->WriteAt(0, data.data(), data.size()), 0);
  ASSERT_EQ(file->WriteAt(data.size(), "tail", 4), 0);
  std::vector<uint8_t> back(data.size());
  ASSERT_EQ(file->ReadAt(0, back.data(), back.size()), 0);
  EXPECT_EQ(back, data);
  char tail[4];
  ASSERT_EQ(file->ReadAt(data.size(), tail, 4), 0);
  EXPECT_EQ(std::memcmp(tail, "tail", 4), 0);

  // Nothing but what was written can be read.
  EXPECT_EQ(file->ReadAt(data.size() + 2, tail, 4), kOsErrorReadPastEnd);
  EXPECT_EQ(LastOsErrorNumber(), kOsErrorReadPastEnd);

  file.reset();
  EXPECT_TRUE(OpenFilesInDirectory().empty());
  EXPECT_TRUE(DirectoryEntries().empty());
}

TEST_F(TempFileTest, FilesAreDistinct) {
  std::unique_ptr<TempFile> a, b;
  ASSERT_EQ(SystemTempFiles().Create(&a), 0);
  ASSERT_EQ(SystemTempFiles().Create(&b), 0);
  ASSERT_EQ(a->WriteAt(0, "aaaa", 4), 0);
  ASSERT_EQ(b->WriteAt(0, "bbbb", 4), 0);
  char got[4];
  ASSERT_EQ(a->ReadAt(0, got, 4), 0);
  EXPECT_EQ(std::memcmp(got, "aaaa", 4), 0);
  EXPECT_EQ(OpenFilesInDirectory().size(), 2u);
}

TEST_F(TempFileTest, MissingDirectoryIsPathNotFound) {
  const std::string missing = dir_ + "/missing";
  setenv("TMPDIR", missing.c_str(), 1);
  std::unique_ptr<TempFile> file;
  EXPECT_EQ(SystemTempFiles().Create(&file), OS_ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(file, nullptr);
  EXPECT_EQ(LastOsErrorNumber(), OS_ERROR_PATH_NOT_FOUND);
}

TEST_F(TempFileTest, ScopedFactoryReplacesTheCurrentOne) {
  class Refusing : public TempFileFactory {
   public:
    int32_t Create(std::unique_ptr<TempFile>*) override { return OS_ERROR_DISK_FULL; }
  } refusing;
  EXPECT_EQ(&CurrentTempFiles(), &SystemTempFiles());
  {
    ScopedTempFiles use(refusing);
    EXPECT_EQ(&CurrentTempFiles(), &refusing);
  }
  EXPECT_EQ(&CurrentTempFiles(), &SystemTempFiles());
}

}  // namespace
}  // namespace vantrose
