#include <gtest/gtest.h>

#include <filesystem>

#include "platform/file_system.h"
#include "platform/ini_profile.h"
#include "storage/file_system_utils.h"
#include "tests/support/test_env.h"

namespace tovak::storage {
namespace {

namespace fs = std::filesystem;
using testing::TempDrive;

TEST(FileSystem, DrivePathsLandUnderTheDriveRoot) {
  TempDrive drive;
  EXPECT_TRUE(CreateDirectoryTree("D:\\a\\b\\c"));
  EXPECT_TRUE(fs::is_directory(drive / "a/b/c"));
  EXPECT_TRUE(CreateDirectoryTree("D:\\x\\y\\")) << "a trailing backslash changes nothing";
  EXPECT_TRUE(DirectoryExists("D:\\x\\y"));
  EXPECT_FALSE(CreateDirectoryTree("ab"));
  EXPECT_FALSE(DirectoryExists(""));
  EXPECT_FALSE(DirectoryExists("D:\\missing"));
  testing::WriteFile(drive / "file", "1");
  EXPECT_FALSE(DirectoryExists("D:\\file"));
  EXPECT_FALSE(CreateDirectoryTree("D:\\file")) << "a path that names a file";
}

TEST(FileSystem, FileExistsSeesHiddenFilesButNotDirectories) {
  TempDrive drive;
  testing::WriteFile(drive / ".hidden", "x");
  fs::create_directory(drive / "dir");
  EXPECT_TRUE(FileExists("D:\\.hidden"));
  EXPECT_FALSE(FileExists("D:\\dir"));
  EXPECT_FALSE(FileExists("D:\\nothing"));
}

TEST(FileSystem, DeleteDirectoryTreeRemovesNestedAndReadOnlyEntries) {
  for (const char* path : {"D:\\tree", "D:\\tree\\"}) {
    TempDrive drive;
    fs::create_directories(drive / "tree/sub/deeper");
    testing::WriteFile(drive / "tree/a.temp", "a");
    testing::WriteFile(drive / "tree/sub/deeper/b.temp", "b");
    testing::WriteFile(drive / "tree/sub/locked", "c");
    ASSERT_TRUE(platform::SetReadOnly("D:\\tree\\sub\\locked"));
    EXPECT_TRUE(DeleteDirectoryTree(path)) << path;
    EXPECT_FALSE(fs::exists(drive / "tree"));
    EXPECT_FALSE(DeleteDirectoryTree(path)) << "a missing directory";
  }
}

TEST(FileSystem, RenameFileReplacesAFileOfTheNewName) {
  TempDrive drive;
  testing::WriteFile(drive / "1.temp", "chunk");
  testing::WriteFile(drive / "3.temp", "an older segment file");
  EXPECT_TRUE(platform::RenameFile("D:\\1.temp", "D:\\3.temp"));
  EXPECT_EQ(testing::ReadFile(drive / "3.temp"), "chunk");
  EXPECT_FALSE(fs::exists(drive / "1.temp"));
  EXPECT_FALSE(platform::RenameFile("D:\\1.temp", "D:\\3.temp")) << "no file to rename";
  EXPECT_EQ(testing::ReadFile(drive / "3.temp"), "chunk");
}

TEST(FileSystem, ChinesePathsWorkEverywhere) {
  TempDrive drive;
  const Text directory = "D:\\下载\\临时";
  ASSERT_TRUE(CreateDirectoryTree(directory));
  EXPECT_TRUE(fs::is_directory(drive / "\xE4\xB8\x8B\xE8\xBD\xBD"));
  const Text file = directory + "\\文件.temp";
  ASSERT_TRUE(platform::WriteWholeFile(file, "data"));
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(platform::ReadWholeFile(file), "data");
  EXPECT_TRUE(RemoveFile(file));
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(RemoveFile(file));
  EXPECT_TRUE(DeleteDirectoryTree("D:\\下载"));
}

TEST(IniProfile, WritesTheRetrySectionAndReadsItBack) {
  TempDrive drive;
  const Text path = "D:\\retry.ini";
  platform::WriteProfileText("retry", "start", "9999999999999", path);
  platform::WriteProfileText("retry", "end", "12", path);
  platform::WriteProfileText("retry", "seq", "3", path);
  platform::WriteProfileText("retry", "end", "13", path);
  EXPECT_EQ(testing::ReadFile(drive / "retry.ini"), "[retry]\r\nstart=9999999999999\r\nend=13\r\nseq=3\r\n");
  EXPECT_EQ(platform::ReadProfileText("retry", "start", path), "9999999999999");
  EXPECT_EQ(platform::ReadProfileText("retry", "missing", path), "");
  EXPECT_EQ(platform::ReadProfileText("other", "end", path), "");
  EXPECT_EQ(platform::ReadProfileText("retry", "end", "D:\\none.ini"), "");
}

}  // namespace
}  // namespace tovak::storage
