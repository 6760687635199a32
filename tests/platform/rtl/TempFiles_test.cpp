#include "platform/rtl/TempFiles.h"

#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sys/stat.h>

namespace {

// Points TMPDIR at a directory of the test's own and restores it afterwards.
class TempFilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    const char* saved = std::getenv("TMPDIR");
    HadTmpDir_ = saved != nullptr;
    if (saved) Saved_ = saved;
    char pattern[] = "/tmp/rtl_tempfiles_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    Dir_ = pattern;
    setenv("TMPDIR", Dir_.c_str(), 1);
  }
  void TearDown() override {
    if (HadTmpDir_) setenv("TMPDIR", Saved_.c_str(), 1);
    else unsetenv("TMPDIR");
    rmdir(Dir_.c_str());
  }

  std::string Dir_;
  std::string Saved_;
  bool HadTmpDir_ = false;
};

TEST_F(TempFilesTest, DirectoryComesFromTmpDirWithATrailingSeparator) {
  EXPECT_EQ(GetTempDirectory(), Dir_ + "/");
  setenv("TMPDIR", (Dir_ + "/").c_str(), 1);
  EXPECT_EQ(GetTempDirectory(), Dir_ + "/");
  setenv("TMPDIR", "", 1);
  EXPECT_EQ(GetTempDirectory(), "/tmp/");
  unsetenv("TMPDIR");
  EXPECT_EQ(GetTempDirectory(), "/tmp/");
}

TEST_F(TempFilesTest, EachNameIsANewEmptyFile) {
  std::set<std::string> names;
  for (int i = 0; i < 20; ++i) {
    const std::string path = GetTempFileName("Tarnex");
    EXPECT_EQ(path.rfind(Dir_ + "/Tarnex", 0), 0u) << path;
    EXPECT_EQ(path.size(), Dir_.size() + 1 + 6 + 6);
    EXPECT_TRUE(FileExists(path));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_TRUE(names.insert(path).second) << path;
  }
  for (const std::string& path : names) {
    EXPECT_TRUE(DeleteFile(path));
    EXPECT_FALSE(FileExists(path));
    EXPECT_FALSE(DeleteFile(path));
  }
  EXPECT_FALSE(FileExists(Dir_));  // a directory is not a file
}

TEST_F(TempFilesTest, UnwritableDirectoryRaisesInOutError) {
  setenv("TMPDIR", (Dir_ + "/missing").c_str(), 1);
  EXPECT_THROW(GetTempFileName("x"), EInOutError);
}

}  // namespace
