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

TEST_F(TextFileTest, TextOutsideTheCodePageIsWrittenAsUtf8WithAByteOrderMarkAndReadBack) {
  const std::string path = (dir / "b.txt").string();
  WriteTextLines(path, {"č and 温度"});
  EXPECT_EQ(ReadBytes(path), "\xEF\xBB\xBFč and 温度\r\n");
  EXPECT_EQ(ReadTextLines(path), (std::vector<std::string>{"č and 温度"}));
}

// "ČŠ" in Windows-1250 is C8 8A, which is also valid UTF-8 ("Ȋ"): the program's own files
// are never guessed, a logger file of another tool still is.
TEST_F(TextFileTest, TheProgramsOwnFilesAreNeverGuessedWrong) {
  const std::string vtx = (dir / "a.vtx").string();
  WriteTextLines(vtx, {"Tlak ČŠ", "温度 ČŠ"});
  EXPECT_EQ(ReadTextLines(vtx), (std::vector<std::string>{"Tlak ČŠ", "温度 ČŠ"}));
  WriteTextLines(vtx, {"Tlak ČŠ"});
  EXPECT_EQ(ReadTextLines(vtx), std::vector<std::string>{"Tlak ČŠ"});
  WriteTextLines(vtx, {"ď»ż are the mark's bytes in Windows-1250"});
  EXPECT_EQ(ReadTextLines(vtx)[0], "ď»ż are the mark's bytes in Windows-1250");
  for (const char* name : {"b.vtd", "c.VTM", "d.vtc"}) {
    std::ofstream((dir / name).string(), std::ios::binary) << "Tlak \xC8\x8A\r\n";
    EXPECT_EQ(ReadTextLines((dir / name).string()), std::vector<std::string>{"Tlak ČŠ"}) << name;
  }
  std::ofstream((dir / "log.txt").string(), std::ios::binary) << "Tlak \xC8\x8A\r\n";
  EXPECT_EQ(ReadTextLines((dir / "log.txt").string()), std::vector<std::string>{"Tlak Ȋ"});
}

TEST_F(TextFileTest, AcceptsEveryLineEnding) {
  EXPECT_EQ(SplitLines("a\r\nb\nc\rd"), (std::vector<std::string>{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_EQ(SplitLines(""), std::vector<std::string>{});
}

TEST_F(TextFileTest, ASaveKeepsPermissionsLinksAndNoTemporaryFile) {
  namespace fs = std::filesystem;
  const fs::path real = dir / "real.vtd", link = dir / "link.vtd";
  WriteTextLines(real.string(), {"old"});
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("real.vtd", link);
  std::ofstream((dir / "real.vtd.vortuner-tmp").string()) << "left by a killed save";
  WriteTextLines(link.string(), {"new"});
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadTextLines(real.string()), std::vector<std::string>{"new"});
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  int entries = 0;
  for ([[maybe_unused]] auto& e : fs::directory_iterator(dir)) ++entries;
  EXPECT_EQ(entries, 2);
}

// Where no temporary file can be made beside the file, it is written in place.
TEST_F(TextFileTest, ASaveWithoutRoomForATemporaryFileWritesInPlace) {
  namespace fs = std::filesystem;
  const std::string longName = (dir / (std::string(250, 'x') + ".vtd")).string();
  WriteTextLines(longName, {"first"});
  WriteTextLines(longName, {"second"});
  EXPECT_EQ(ReadTextLines(longName), std::vector<std::string>{"second"});

  const std::string path = (dir / "keep.vtx").string();
  WriteTextLines(path, {"old"});
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
  WriteTextLines(path, {"new"});
  EXPECT_EQ(ReadTextLines(path), std::vector<std::string>{"new"});
  fs::permissions(path, fs::perms::owner_read);
  EXPECT_THROW(WriteTextLines(path, {"newer"}), FileError);
  EXPECT_THROW(WriteTextLines((dir / "other.vtx").string(), {"x"}), FileError);
  fs::permissions(dir, fs::perms::owner_all);
  EXPECT_THROW(WriteTextLines(path, {"newer"}), FileError);  // write-protected stays so
  EXPECT_EQ(ReadTextLines(path), std::vector<std::string>{"new"});
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

TEST_F(TextFileTest, AMissingFileOrAFolderNamesTheFile) {
  try {
    ReadTextLines((dir / "none.vtd").string());
    FAIL();
  } catch (const FileError& e) {
    EXPECT_NE(std::string(e.what()).find("none.vtd"), std::string::npos);
  }
  try {
    ReadTextLines(dir.string());
    FAIL();
  } catch (const FileError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir.string() + "\". Is a directory");
  }
}

TEST(PathParts, FolderAndBaseNameOfBothSeparatorKinds) {
  EXPECT_EQ(FolderOf("/home/a/b.vtx"), "/home/a");
  EXPECT_EQ(BaseNameOf("/home/a/b.c.vtx"), "b.c");
  EXPECT_EQ(FolderOf("C:\\exp\\x.vtx"), "C:\\exp");
  EXPECT_EQ(BaseNameOf("C:\\exp\\x.vtx"), "x");
  EXPECT_EQ(BaseNameOf("plain"), "plain");
}
