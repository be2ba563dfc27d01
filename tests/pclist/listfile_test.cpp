// Reading and replacing the list file on a real file system, including a
// read-only and a full one (small tmpfs mounts in a private mount namespace).
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cp932.h"
#include "listlocation.h"
#include "pclist.h"

namespace {

namespace fs = std::filesystem;

std::string CannotOpen(const std::string& path) {
  return cp932::Text("ファイル ") + path + cp932::Text(" は開けません");
}
std::string CannotCreate(const std::string& path) {
  return cp932::Text("ファイル ") + path + cp932::Text(" を作成できません");
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

// Mounts made after this stay inside this test process. Needs CAP_SYS_ADMIN.
bool InPrivateMountNamespace() {
  static const bool entered =
      ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  return entered;
}

std::string ListOf(int count) {
  std::vector<std::string> names;
  for (int k = 0; k < count; ++k) names.push_back("COMPUTER-" + std::to_string(k));
  return pclist::Format(names);
}

class ListFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pclist-test.XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/mirelka.ini";
  }
  void TearDown() override {
    if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
    ::chmod(dir_.c_str(), 0700);
    fs::remove_all(dir_);
  }
  // Puts an empty tmpfs of the given size over dir_; false when not allowed.
  bool MountTmpfs(const char* options) {
    if (!InPrivateMountNamespace()) return false;
    mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options) == 0;
    return mounted_;
  }
  bool RemountReadOnly() {
    const unsigned long flags = MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV;
    return ::mount(nullptr, dir_.c_str(), nullptr, flags, nullptr) == 0;
  }

  std::string dir_;
  std::string path_;
  bool mounted_ = false;
};

// A read's outcome as one value: the file's text, kNoFile, or "! " and the
// failure's code and text.
constexpr char kNoFile[] = "<no file>";
std::string Read(const std::string& path) {
  const base::Result<std::optional<std::string>> read = pclist::ReadListFile(path);
  if (!read) return "! " + std::to_string(read.failure().code) + " " + read.failure().text;
  return read->value_or(kNoFile);
}
std::string Failed(pclist::FileProblem problem, const std::string& text) {
  return "! " + std::to_string(static_cast<int>(problem)) + " " + text;
}
// A write's or a backup's outcome the same way: "ok", or the failure.
std::string Outcome(const base::Status& status) {
  return status ? "ok" : "! " + std::to_string(status.failure().code) + " " + status.failure().text;
}
std::string NotCreated(const std::string& path) {
  return Failed(pclist::FileProblem::kCannotCreate, CannotCreate(path));
}

TEST_F(ListFileTest, NothingAtThePathReadsAsNoFile) {
  EXPECT_EQ(Read(path_), kNoFile);
  EXPECT_EQ(Read(dir_ + "/missing/mirelka.ini"), kNoFile);
  WriteBytes(dir_ + "/plain", "x");
  EXPECT_EQ(Read(dir_ + "/plain/mirelka.ini"), kNoFile);
}

TEST_F(ListFileTest, ReadsTheWholeFileByteForByte) {
  std::string bytes = "[WGPCLIST]\r\n1\r\n\x83\x65\x83\x58\x83\x67\xff\x80";
  bytes.push_back('\0');
  bytes += std::string(200000, 'Z');
  WriteBytes(path_, bytes);
  EXPECT_EQ(Read(path_), bytes);
  WriteBytes(path_, "");
  EXPECT_EQ(Read(path_), std::string());
}

TEST_F(ListFileTest, SomethingUnreadableAtThePathFailsWithThePath) {
  fs::create_directory(path_);
  EXPECT_EQ(Read(path_), Failed(pclist::FileProblem::kCannotOpen, CannotOpen(path_)));
  // A FIFO must not block the load waiting for a writer; should it, the
  // alarm ends the test process instead of letting it hang.
  const std::string fifo = dir_ + "/fifo.ini";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  ::alarm(20);
  EXPECT_FALSE(pclist::ReadListFile(fifo));
  ::alarm(0);
}

TEST_F(ListFileTest, FilesPastTheSizeCapAreNotRead) {
  const std::string tooBig = cp932::Text("ファイル ") + path_ + cp932::Text(" は大きすぎて読めません");
  struct Case {
    uintmax_t size;  // sparse: nothing but the size is written
    bool read;
  } const cases[] = {
      {0, true},
      {pclist::kMaxFileBytes, true},
      {pclist::kMaxFileBytes + 1, false},
      {uintmax_t{1} << 40, false},  // 1 TiB
  };
  for (const Case& c : cases) {
    WriteBytes(path_, "");
    fs::resize_file(path_, c.size);
    if (c.read) {
      EXPECT_EQ(Read(path_).size(), c.size);
    } else {
      EXPECT_EQ(Read(path_), Failed(pclist::FileProblem::kTooBig, tooBig)) << c.size;
    }
  }
  // An endless device behind a link is no file to read.
  fs::remove(path_);
  fs::create_symlink("/dev/zero", path_);
  EXPECT_EQ(Read(path_), Failed(pclist::FileProblem::kCannotOpen, CannotOpen(path_)));
}

TEST_F(ListFileTest, UnreadableFileFailsWhenPermissionsApply) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files whatever their mode";
  WriteBytes(path_, "[WGPCLIST]\r\n0\r\n");
  ::chmod(path_.c_str(), 0);
  EXPECT_FALSE(pclist::ReadListFile(path_));
}

TEST_F(ListFileTest, MessagesShowANonAsciiPathInCodePage932) {
  const std::string folder = dir_ + "/\xe4\xb8\x80\xe8\xa6\xa7";  // 一覧 in UTF-8
  fs::create_directory(folder);
  const std::string path = folder + "/\xe2\x98\x83.ini";  // a snowman, which code page 932 cannot hold
  fs::create_directory(path);
  EXPECT_EQ(Read(path), Failed(pclist::FileProblem::kCannotOpen, CannotOpen(dir_ + "/\x88\xea\x97\x97/?.ini")));
}

TEST_F(ListFileTest, WriteCreatesTheFileWithItsBytesAndAnOrdinaryMode) {
  const mode_t oldMask = ::umask(022);
  EXPECT_EQ(Outcome(pclist::WriteListFile(path_, "[WGPCLIST]\r\n0\r\n")), "ok");
  ::umask(oldMask);
  EXPECT_EQ(ReadBytes(path_), "[WGPCLIST]\r\n0\r\n");
  EXPECT_EQ(ModeOf(path_), 0644u);
  EXPECT_EQ(Entries(dir_), std::vector<std::string>{"mirelka.ini"});
}

TEST_F(ListFileTest, WriteReplacesTheWholeFileAndKeepsItsMode) {
  WriteBytes(path_, ListOf(1000));
  ::chmod(path_.c_str(), 0640);
  EXPECT_EQ(Outcome(pclist::WriteListFile(path_, "[WGPCLIST]\r\n1\r\nA\r\n")), "ok");
  EXPECT_EQ(ReadBytes(path_), "[WGPCLIST]\r\n1\r\nA\r\n");
  EXPECT_EQ(ModeOf(path_), 0640u);
  EXPECT_EQ(Entries(dir_), std::vector<std::string>{"mirelka.ini"});
}

TEST_F(ListFileTest, WriteFailsWhereNoFileCanBeMade) {
  const std::string nowhere = dir_ + "/missing/mirelka.ini";
  EXPECT_EQ(Outcome(pclist::WriteListFile(nowhere, "[WGPCLIST]\r\n0\r\n")), NotCreated(nowhere));

  fs::create_directory(path_);
  WriteBytes(path_ + "/inside", "kept");
  EXPECT_EQ(Outcome(pclist::WriteListFile(path_, "[WGPCLIST]\r\n0\r\n")), NotCreated(path_));
  EXPECT_TRUE(fs::is_directory(path_));
  EXPECT_EQ(ReadBytes(path_ + "/inside"), "kept");
  EXPECT_EQ(Entries(dir_), std::vector<std::string>{"mirelka.ini"});
}

TEST_F(ListFileTest, WriteToAReadOnlyFolderFailsAndKeepsTheOldFile) {
  // Root ignores a folder's mode bits, so the folder is a read-only mount.
  if (!MountTmpfs("size=64k,mode=0755")) GTEST_SKIP() << "cannot mount tmpfs here (needs root)";
  const std::string old = ListOf(3);
  WriteBytes(path_, old);
  ASSERT_TRUE(RemountReadOnly());
  EXPECT_EQ(Outcome(pclist::WriteListFile(path_, ListOf(5))), NotCreated(path_));
  EXPECT_EQ(ReadBytes(path_), old);
  EXPECT_EQ(Outcome(pclist::KeepBackup(path_)), NotCreated(pclist::BackupPath(path_)));
}

TEST_F(ListFileTest, WriteToAFullDiskFailsAndKeepsTheOldFile) {
  if (!MountTmpfs("size=64k,mode=0755")) GTEST_SKIP() << "cannot mount tmpfs here (needs root)";
  const std::string old = ListOf(100);
  WriteBytes(path_, old);
  const std::string bigger = ListOf(20000);  // about 330 KiB
  ASSERT_GT(bigger.size(), 64u * 1024u);
  EXPECT_EQ(Outcome(pclist::WriteListFile(path_, bigger)), NotCreated(path_));
  EXPECT_EQ(ReadBytes(path_), old);
  EXPECT_EQ(Entries(dir_), std::vector<std::string>{"mirelka.ini"});
  // The space of the failed attempt is given back: a small save still works.
  EXPECT_EQ(Outcome(pclist::WriteListFile(path_, ListOf(2))), "ok");
  EXPECT_EQ(ReadBytes(path_), ListOf(2));
}

TEST_F(ListFileTest, SavedListLoadsBackUnchanged) {
  const std::vector<std::string> names = {"PC01", "\x83\x65\x83\x58\x83\x67", "\x80\xff", "LEAD\x82", ""};
  ASSERT_TRUE(pclist::WriteListFile(path_, pclist::Format(names)));
  EXPECT_EQ(pclist::Parse(Read(path_)).names, names);
}

TEST_F(ListFileTest, KeepBackupCopiesTheOriginalBesideIt) {
  EXPECT_EQ(pclist::BackupPath(path_), path_ + ".bak");
  EXPECT_FALSE(pclist::KeepBackup(path_)) << "no original to keep";
  EXPECT_FALSE(fs::exists(pclist::BackupPath(path_)));

  WriteBytes(path_, "first\r\n");
  ::chmod(path_.c_str(), 0640);
  ASSERT_TRUE(pclist::KeepBackup(path_));
  EXPECT_EQ(ReadBytes(path_), "first\r\n");
  EXPECT_EQ(ReadBytes(pclist::BackupPath(path_)), "first\r\n");
  EXPECT_EQ(ModeOf(pclist::BackupPath(path_)), 0640u);

  WriteBytes(path_, "second\xff");
  ASSERT_TRUE(pclist::KeepBackup(path_));
  EXPECT_EQ(ReadBytes(pclist::BackupPath(path_)), "second\xff");
  EXPECT_EQ(Entries(dir_), (std::vector<std::string>{"mirelka.ini", "mirelka.ini.bak"}));
}

TEST_F(ListFileTest, KeepBackupReportsAFailedCopy) {
  WriteBytes(path_, "list");
  fs::create_directory(pclist::BackupPath(path_));
  EXPECT_EQ(Outcome(pclist::KeepBackup(path_)), NotCreated(pclist::BackupPath(path_)));
  EXPECT_EQ(ReadBytes(path_), "list");
  fs::remove(pclist::BackupPath(path_));

  fs::remove(path_);
  fs::create_directory(path_);
  EXPECT_FALSE(pclist::KeepBackup(path_)) << "a folder is no list to keep";
}

// A portable copy keeps its list beside the program; one in a folder the user
// cannot write to keeps it in the user's configuration folder, reading a list
// left beside the program until the first save there.
TEST_F(ListFileTest, ListLivesBesideAWritableProgramElseInTheConfigFolder) {
  const std::string program = dir_ + "/mirelka";
  const std::string config = dir_ + ".config";  // beside dir_, outside any mount over it
  struct Remove {
    std::string path;
    ~Remove() { fs::remove_all(path); }
  } removeConfig{config};

  pclist::ListLocation portable = pclist::LocateListFile(program, config);
  EXPECT_EQ(portable.path, path_);
  EXPECT_EQ(portable.oldPath, "");

  // Root writes whatever a folder's mode says, so for root it is a read-only mount.
  if (::geteuid() == 0 && !MountTmpfs("size=64k,mode=0755")) GTEST_SKIP() << "cannot mount tmpfs here";
  WriteBytes(path_, ListOf(2));
  if (::geteuid() == 0) {
    ASSERT_TRUE(RemountReadOnly());
  } else {
    ASSERT_EQ(::chmod(dir_.c_str(), 0555), 0);
  }
  const std::string moved = config + "/mirelka/mirelka.ini";
  const pclist::ListLocation installed = pclist::LocateListFile(program, config);
  EXPECT_EQ(installed.path, moved);
  EXPECT_EQ(installed.oldPath, path_);
  EXPECT_EQ(pclist::LocateListFile(program, "").path, path_) << "no configuration folder known";

  // The first save makes the folders, private to the user; the old list is
  // left as it was and is not read again.
  ASSERT_TRUE(pclist::MakeFoldersFor(moved));
  EXPECT_EQ(ModeOf(config), 0700u);
  EXPECT_EQ(ModeOf(config + "/mirelka"), 0700u);
  ASSERT_TRUE(pclist::WriteListFile(moved, Read(installed.oldPath)));
  EXPECT_EQ(pclist::LocateListFile(program, config).oldPath, "");
  EXPECT_EQ(ReadBytes(moved), ListOf(2));
  EXPECT_EQ(ReadBytes(path_), ListOf(2));
  WriteBytes(config + "/file", "x");
  EXPECT_FALSE(pclist::MakeFoldersFor(config + "/file/mirelka/mirelka.ini"));

  // $XDG_CONFIG_HOME when absolute, else ~/.config.
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string xdgBefore = savedXdg ? savedXdg : "", homeBefore = savedHome ? savedHome : "";
  ::setenv("HOME", "/home/u", 1);
  ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(pclist::UserConfigHome(), "/cfg");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);
  EXPECT_EQ(pclist::UserConfigHome(), "/home/u/.config");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(pclist::UserConfigHome(), "/home/u/.config");
  if (savedXdg) ::setenv("XDG_CONFIG_HOME", xdgBefore.c_str(), 1);
  if (savedHome) ::setenv("HOME", homeBefore.c_str(), 1);
}

// The installed program keeps its list in the configuration folder even where
// it may write beside itself, as root may in /usr/bin; an old list beside it
// is still read until the first save there.
TEST_F(ListFileTest, InstalledCopyNeverKeepsItsListBesideItself) {
  const std::string program = dir_ + "/mirelka";
  const std::string config = dir_ + "/home/.config";
  WriteBytes(path_, ListOf(2));
  ASSERT_EQ(::access(dir_.c_str(), W_OK), 0);
  const pclist::ListLocation installed = pclist::LocateListFile(program, config, pclist::Copy::kInstalled);
  EXPECT_EQ(installed.path, config + "/mirelka/mirelka.ini");
  EXPECT_EQ(installed.oldPath, path_);
  EXPECT_EQ(pclist::LocateListFile(program, config, pclist::Copy::kPortable).path, path_);
}

}  // namespace
