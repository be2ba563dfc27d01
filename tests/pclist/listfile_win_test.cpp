// Reading and replacing the list file through the Windows file calls (run
// under Wine here): byte for byte both ways, an atomic replacement that leaves
// no temporary file, and the two failures with the path in their text.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cp932_codec.h"
#include "pclist.h"

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class ListFileWin : public ::testing::Test {
 protected:
  void SetUp() override {
    char base[MAX_PATH + 1] = {};
    ASSERT_GT(GetTempPathA(sizeof base, base), 0u);
    dir_ = std::string(base) + "mirelka-list-" + std::to_string(GetCurrentProcessId());
    fs::remove_all(dir_);
    ASSERT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr));
    path_ = dir_ + "\\mirelka.ini";
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string dir_;
  std::string path_;
};

TEST_F(ListFileWin, NothingAtThePathOrItsFolderReadsAsNoFile) {
  EXPECT_EQ(pclist::ReadListFile(path_).value_or("?"), std::nullopt);
  EXPECT_EQ(pclist::ReadListFile(dir_ + "\\no-folder\\mirelka.ini").value_or("?"), std::nullopt);
}

TEST_F(ListFileWin, SavedListIsWrittenAndReadByteForByte) {
  // A name whose second byte is 0x5C, one of 40 characters, and an empty one.
  const std::vector<std::string> names = {"PC01", "\x83\x5C\x83\x74\x83\x67", std::string(40, 'N'), ""};
  const std::string text = pclist::Format(names);
  ASSERT_TRUE(pclist::WriteListFile(path_, text));
  EXPECT_EQ(ReadBytes(path_), text);
  EXPECT_EQ(pclist::ReadListFile(path_).value_or("?"), text);
  EXPECT_EQ(pclist::Parse(**pclist::ReadListFile(path_)).names, names);

  ASSERT_TRUE(pclist::WriteListFile(path_, pclist::Format({})));  // replaces the whole file
  EXPECT_EQ(ReadBytes(path_), std::string("[WGPCLIST]\r\n0\r\n"));
  EXPECT_EQ(Entries(), std::vector<std::string>{"mirelka.ini"});  // no temporary file left
}

TEST_F(ListFileWin, AFolderAtThePathFailsBothWaysWithThePath) {
  ASSERT_TRUE(CreateDirectoryA(path_.c_str(), nullptr));
  const base::Result<std::optional<std::string>> read = pclist::ReadListFile(path_);
  ASSERT_FALSE(read);
  EXPECT_EQ(read.failure().code, static_cast<int>(pclist::FileProblem::kCannotOpen));
  EXPECT_EQ(read.failure().text, cp932::Text(u8"ファイル ") + path_ + cp932::Text(u8" は開けません"));
  const base::Status written = pclist::WriteListFile(path_, "x");
  ASSERT_FALSE(written) << "wrote over a folder";
  EXPECT_EQ(written.failure().code, static_cast<int>(pclist::FileProblem::kCannotCreate));
  EXPECT_EQ(written.failure().text, cp932::Text(u8"ファイル ") + path_ + cp932::Text(u8" を作成できません"));
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_EQ(Entries(), std::vector<std::string>{"mirelka.ini"});
}

TEST_F(ListFileWin, KeepBackupCopiesTheOriginalBesideIt) {
  const std::string original = "[WGPCLIST]\r\nnot a count\r\n\x83\x5C\r\n";
  ASSERT_TRUE(pclist::WriteListFile(path_, original));
  ASSERT_TRUE(pclist::KeepBackup(path_));
  EXPECT_EQ(ReadBytes(pclist::BackupPath(path_)), original);
  EXPECT_EQ(ReadBytes(path_), original);
  EXPECT_FALSE(pclist::KeepBackup(dir_ + "\\absent.ini"));
}

}  // namespace
