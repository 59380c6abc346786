#include <gtest/gtest.h>

#include <filesystem>

#include "storage/mapped_file.h"
#include "tests/support/test_env.h"

namespace tovak::storage {
namespace {

namespace fs = std::filesystem;
using testing::TempDrive;

TEST(MappedFile, FirstWriteGrowsTheFileAndMapsOnlyWhatExists) {
  TempDrive drive;
  MappedFileTable files(65536);
  uint32_t number = files.Open("D:\\ten.bin", kCreateAlways);
  ASSERT_NE(number, 0u);
  ASSERT_TRUE(files.Write(number, "0123456789"));
  MappedFileTable::Snapshot seen;
  ASSERT_TRUE(files.Inspect(number, seen));
  EXPECT_EQ(seen.size, 10);
  EXPECT_EQ(seen.position, 10);
  EXPECT_TRUE(seen.hasView);
  EXPECT_EQ(seen.windowOffset, 0);
  EXPECT_EQ(seen.viewLength, 10u);
  files.Close(number);
  EXPECT_EQ(testing::ReadFile(drive / "ten.bin"), "0123456789");
}

TEST(MappedFile, LargeAppendsLandInOrder) {
  TempDrive drive;
  MappedFileTable files(65536);
  const std::string first = testing::RandomBytes(10485770, 1), second = testing::RandomBytes(10485770, 2);
  uint32_t number = files.Open("D:\\big.bin", kCreateAlways);
  ASSERT_TRUE(files.Write(number, first));
  ASSERT_TRUE(files.Write(number, second));
  files.Close(number);
  EXPECT_EQ(fs::file_size(drive / "big.bin"), 20971540u);
  EXPECT_TRUE(testing::ReadFile(drive / "big.bin") == first + second);
}

// Whole files appended after a written prefix; a source that is missing, empty or a directory
// appends nothing and leaves the length as it was.
TEST(MappedFile, AppendsWholeFilesAfterWhatWasWritten) {
  TempDrive drive;
  MappedFileTable files(65536);
  const std::string large = testing::RandomBytes(10485770, 3), small = testing::RandomBytes(777, 4);
  testing::WriteFile(drive / "large.temp", large);
  testing::WriteFile(drive / "small.temp", small);
  testing::WriteFile(drive / "empty.temp", "");
  fs::create_directory(drive / "folder");
  uint32_t number = files.Open("D:\\joined.bin", kCreateAlways);
  ASSERT_TRUE(files.Write(number, "head"));
  ASSERT_TRUE(files.AppendFile(number, "D:\\large.temp"));
  ASSERT_TRUE(files.AppendFile(number, "D:\\small.temp"));
  for (const char* source : {"D:\\missing.temp", "D:\\empty.temp", "D:\\folder"}) {
    EXPECT_FALSE(files.AppendFile(number, source)) << source;
    MappedFileTable::Snapshot seen;
    ASSERT_TRUE(files.Inspect(number, seen));
    EXPECT_EQ(seen.size, static_cast<int64_t>(4 + large.size() + small.size())) << source;
    EXPECT_EQ(seen.position, seen.size) << source;
  }
  files.Close(number);
  EXPECT_TRUE(testing::ReadFile(drive / "joined.bin") == "head" + large + small);
}

TEST(MappedFile, AppendsAfterWhatAnExistingFileHolds) {
  TempDrive drive;
  MappedFileTable files(65536);
  const std::string held = testing::RandomBytes(100000, 6), more = testing::RandomBytes(5000, 7);
  testing::WriteFile(drive / "segment.temp", held);
  testing::WriteFile(drive / "more.temp", more);
  uint32_t number = files.Open("D:\\segment.temp", kReadWrite);
  ASSERT_TRUE(files.MoveToEnd(number));
  ASSERT_TRUE(files.AppendFile(number, "D:\\more.temp"));
  files.Close(number);
  EXPECT_TRUE(testing::ReadFile(drive / "segment.temp") == held + more);
  EXPECT_FALSE(files.MoveToEnd(number)) << "a closed number";
}

// The source may lie on another file system than the target (here a memory one).
TEST(MappedFile, AppendsFromAnotherFileSystem) {
  const fs::path shared = "/dev/shm";
  if (!fs::is_directory(shared)) GTEST_SKIP() << "no second file system at " << shared;
  TempDrive drive;
  const fs::path source = shared / ("tovak-append-" + std::to_string(std::random_device{}()) + ".temp");
  const std::string content = testing::RandomBytes(3 * 1048576 + 5, 5);
  testing::WriteFile(source, content);
  MappedFileTable files(65536);
  uint32_t number = files.Open("D:\\joined.bin", kCreateAlways);
  ASSERT_TRUE(files.Write(number, "head"));
  EXPECT_TRUE(files.AppendFile(number, source.string()));
  files.Close(number);
  fs::remove(source);
  EXPECT_TRUE(testing::ReadFile(drive / "joined.bin") == "head" + content);
}

TEST(MappedFile, RefusesBadModesReadOnlyWritesAndClosedNumbers) {
  TempDrive drive;
  MappedFileTable files(65536);
  for (auto [mode, share] : {std::pair{2, 1}, {5, 1}, {4, 0}, {4, 5}}) {
    EXPECT_EQ(files.Open("D:\\bad.bin", mode, share), 0u) << mode << "/" << share;
    EXPECT_FALSE(fs::exists(drive / "bad.bin"));
  }
  testing::WriteFile(drive / "existing.bin", "abc");
  uint32_t reader = files.Open("D:\\existing.bin", kReadOnly);
  ASSERT_NE(reader, 0u);
  EXPECT_FALSE(files.Write(reader, "x"));
  EXPECT_FALSE(files.SetLength(reader, 1));
  files.Close(reader);
  files.Close(reader);  // harmless
  EXPECT_FALSE(files.Write(reader, "x"));
  EXPECT_EQ(files.Open("D:\\missing.bin", kReadWrite), 0u);

  uint32_t writer = files.Open("D:\\existing.bin", kOpenAlways);
  EXPECT_FALSE(files.Write(writer, "")) << "an empty write changes nothing";
  files.Close(writer);
  EXPECT_EQ(testing::ReadFile(drive / "existing.bin"), "abc");
}

TEST(MappedFile, FollowsAFileShortenedBySomeoneElse) {
#ifdef _WIN32
  GTEST_SKIP() << "Windows refuses to shorten a file while a view of it is mapped";
#endif
  TempDrive drive;
  MappedFileTable files(65536);
  uint32_t number = files.Open("D:\\shrink.bin", kCreateAlways);
  ASSERT_TRUE(files.Write(number, std::string(200000, 'a')));
  fs::resize_file(drive / "shrink.bin", 100);
  ASSERT_TRUE(files.Write(number, "bb"));
  MappedFileTable::Snapshot seen;
  files.Inspect(number, seen);
  EXPECT_EQ(seen.position, 102);
  files.Close(number);
  EXPECT_EQ(testing::ReadFile(drive / "shrink.bin"), std::string(100, 'a') + "bb");
}

TEST(MappedFile, SetLengthGrowsAndClampsThePosition) {
  TempDrive drive;
  MappedFileTable files(65536);
  uint32_t number = files.Open("D:\\len.bin", kCreateAlways);
  files.Write(number, "abcdef");
  EXPECT_TRUE(files.SetLength(number, 3));
  MappedFileTable::Snapshot seen;
  files.Inspect(number, seen);
  EXPECT_EQ(seen.position, 3);
  EXPECT_TRUE(files.SetLength(number, 100000));
  files.Close(number);
  EXPECT_EQ(fs::file_size(drive / "len.bin"), 100000u);
}

}  // namespace
}  // namespace tovak::storage
