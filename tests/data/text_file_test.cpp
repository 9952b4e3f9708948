#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "data/TextFile.h"

namespace {
std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TextFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() /
          ("vortuner_text_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
  }
  void TearDown() override {
    std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
    std::filesystem::remove_all(dir);
  }
  std::filesystem::path dir;
};
}  // namespace

TEST_F(TextFileTest, SlovenianLettersRoundTripThroughWindows1250) {
  const std::string path = (dir / "a.txt").string();
  WriteTextLines(path, {"Meritev č", "šž ČŠŽ", ""});
  EXPECT_EQ(ReadBytes(path), "Meritev \xE8\r\n\x9A\x9E \xC8\x8A\x8E\r\n\r\n");
  EXPECT_EQ(ReadTextLines(path), (std::vector<std::string>{"Meritev č", "šž ČŠŽ", ""}));
}

TEST_F(TextFileTest, TextOutsideTheCodePageIsWrittenAsUtf8AndReadBack) {
  const std::string path = (dir / "b.txt").string();
  WriteTextLines(path, {"č and 温度"});
  EXPECT_EQ(ReadBytes(path), "č and 温度\r\n");
  EXPECT_EQ(ReadTextLines(path), (std::vector<std::string>{"č and 温度"}));
}

TEST_F(TextFileTest, AcceptsEveryLineEnding) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{});
}

TEST_F(TextFileTest, AFailedSaveKeepsThePreviousFile) {
  const std::string path = (dir / "keep.vtx").string();
  WriteTextLines(path, {"old"});
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  std::filesystem::permissions(dir, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_THROW(WriteTextLines(path, {"new"}), FileError);
  std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadTextLines(path), std::vector<std::string>{"old"});
}

TEST_F(TextFileTest, ASaveOverAFolderFailsWithTheFileNameAndLeavesNoTemporaryFile) {
  const std::filesystem::path target = dir / "folder.vtd";
  std::filesystem::create_directory(target);
  try {
    WriteTextLines(target.string(), {"x"});
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find(target.string()), std::string::npos);
  }
  int entries = 0;
  for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(TextFileTest, AMissingFileNamesTheFile) {
  try {
    ReadTextLines((dir / "none.vtd").string());
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("none.vtd"), std::string::npos);
  }
}

TEST(PathParts, FolderAndBaseNameOfBothSeparatorKinds) {
  EXPECT_EQ(FolderOf("/home/a/b.vtx"), "/home/a");
  EXPECT_EQ(BaseNameOf("/home/a/b.c.vtx"), "b.c");
  EXPECT_EQ(FolderOf("C:\\exp\\x.vtx"), "C:\\exp");
  EXPECT_EQ(BaseNameOf("C:\\exp\\x.vtx"), "x");
  EXPECT_EQ(BaseNameOf("plain"), "plain");
}
