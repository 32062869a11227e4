// The real file system: atomic replacement, copies, reads with limits, folders, and the paths
// of the program folder.
#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/fake_file_system.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

using test::CChildProcess;
using test::CTempFolder;

int ModeOf(const std::string& sPath) {
  struct stat oInfo;
  return stat(sPath.c_str(), &oInfo) == 0 ? static_cast<int>(oInfo.st_mode & 07777) : -1;
}

int CountEntries(const std::string& sFolder) {
  int iCount = 0;
  for ([[maybe_unused]] const auto& oEntry : std::filesystem::directory_iterator(sFolder)) ++iCount;
  return iCount;
}

// Replaces file argv[0] with argv[1] bytes of "n" after limiting file sizes to 10 bytes, so that
// the write fails half way. Exit 0 when ReplaceFile reported the failure.
WDX_TEST_CHILD(replace_file_too_big) {
  if (argc < 2) return 2;
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit oLimit = {10, 10};
  if (setrlimit(RLIMIT_FSIZE, &oLimit) != 0) return 3;
  std::string sContent(static_cast<size_t>(std::atoi(argv[1])), 'n');
  IFileSystem& oFiles = GetFileSystem();
  if (oFiles.ReplaceFile(argv[0], sContent, 0600)) return 4;
  return oFiles.GetLastErrorCode() == EFBIG ? 0 : 5;
}

// Replaces file argv[0] as the user "nobody" (when started by root), for whom its folder is not
// writable. Exit 0 when ReplaceFile reported the failure.
WDX_TEST_CHILD(replace_file_as_nobody) {
  if (argc < 1) return 2;
  if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) return 3;
  IFileSystem& oFiles = GetFileSystem();
  if (oFiles.ReplaceFile(argv[0], "new", 0600)) return 4;
  return oFiles.GetLastErrorCode() == EACCES ? 0 : 5;
}

// Appends to file argv[0] (which holds 3 bytes) under a 10-byte file size limit: a 10-byte
// append is cut short by the limit and must leave the file as it was; a 3-byte one then fits.
// Exit 0 when both came out so.
WDX_TEST_CHILD(append_whole_over_limit) {
  if (argc < 1) return 2;
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit oLimit = {10, 10};
  if (setrlimit(RLIMIT_FSIZE, &oLimit) != 0) return 3;
  IFileSystem& oFiles = GetFileSystem();
  FILE* pStream = std::fopen(argv[0], "a+b");
  if (pStream == nullptr) return 4;
  const bool bLong = oFiles.AppendWhole(pStream, "0123456789");
  const int iError = oFiles.GetLastErrorCode();
  const bool bShort = oFiles.AppendWhole(pStream, "xyz");
  std::fclose(pStream);
  if (bLong || iError != EFBIG) return 5;
  return bShort ? 0 : 6;
}

// --- Atomic replacement ------------------------------------------------------------------

TEST(FileSystemReplaceTest, WritesContentWithExactMode) {
  CTempFolder oFolder;
  IFileSystem& oFiles = GetFileSystem();
  ASSERT_TRUE(oFiles.ReplaceFile(oFolder.File("a.txt"), "first", 0644));
  EXPECT_EQ(oFolder.Read("a.txt"), "first");
  EXPECT_EQ(ModeOf(oFolder.File("a.txt")), 0644);
  ASSERT_TRUE(oFiles.ReplaceFile(oFolder.File("a.txt"), std::string("se\0cond", 7), 0600));
  EXPECT_EQ(oFolder.Read("a.txt"), std::string("se\0cond", 7));
  EXPECT_EQ(ModeOf(oFolder.File("a.txt")), 0600);
  EXPECT_EQ(CountEntries(oFolder.Path()), 1);  // no temporary file left
}

TEST(FileSystemReplaceTest, FailedWriteLeavesTargetAndNoTemporaryFile) {
  CTempFolder oFolder;
  oFolder.Write("keep.txt", "old content");
  CChildProcess oChild("replace_file_too_big", {oFolder.File("keep.txt"), "100000"});
  EXPECT_EQ(oChild.Wait(10000), 0);
  EXPECT_EQ(oFolder.Read("keep.txt"), "old content");
  EXPECT_EQ(CountEntries(oFolder.Path()), 1);
}

TEST(FileSystemReplaceTest, FolderNotWritableLeavesTargetUnchanged) {
  CTempFolder oFolder;
  std::string sLocked = oFolder.Path() + "locked/";
  ASSERT_TRUE(GetFileSystem().MakeFolders(sLocked, 0755));
  ASSERT_TRUE(GetFileSystem().ReplaceFile(sLocked + "t.txt", "old", 0644));
  ASSERT_EQ(chmod(oFolder.Path().c_str(), 0755), 0);  // nobody may pass through
  ASSERT_EQ(chmod(sLocked.c_str(), 0555), 0);
  CChildProcess oChild("replace_file_as_nobody", {sLocked + "t.txt"});
  EXPECT_EQ(oChild.Wait(10000), 0);
  chmod(sLocked.c_str(), 0755);
  EXPECT_EQ(test::ReadWholeFile(sLocked + "t.txt"), "old");
  EXPECT_EQ(CountEntries(sLocked), 1);
}

TEST(FileSystemReplaceTest, MissingFolderFailsWithCode) {
  CTempFolder oFolder;
  IFileSystem& oFiles = GetFileSystem();
  EXPECT_FALSE(oFiles.ReplaceFile(oFolder.File("no/such/file"), "x", 0600));
  EXPECT_EQ(oFiles.GetLastErrorCode(), ENOENT);
}

// --- Copies, reads, sizes, folders -------------------------------------------------------

TEST(FileSystemFilesTest, CopyReplacesTargetAndKeepsSourceMode) {
  CTempFolder oFolder;
  oFolder.Write("src", std::string(200000, 's'));
  ASSERT_EQ(chmod(oFolder.File("src").c_str(), 0640), 0);
  oFolder.Write("dst", "old target");
  IFileSystem& oFiles = GetFileSystem();
  ASSERT_TRUE(oFiles.CopyFile(oFolder.File("src"), oFolder.File("dst")));
  EXPECT_EQ(oFolder.Read("dst"), std::string(200000, 's'));
  EXPECT_EQ(ModeOf(oFolder.File("dst")), 0640);
}

TEST(FileSystemFilesTest, CopyOfMissingSourceFailsAndLeavesTarget) {
  CTempFolder oFolder;
  oFolder.Write("dst", "old target");
  IFileSystem& oFiles = GetFileSystem();
  EXPECT_FALSE(oFiles.CopyFile(oFolder.File("missing"), oFolder.File("dst")));
  EXPECT_EQ(oFiles.GetLastErrorCode(), ENOENT);
  EXPECT_EQ(oFolder.Read("dst"), "old target");
}

TEST(FileSystemFilesTest, ReadFileRefusesFilesOverTheLimit) {
  CTempFolder oFolder;
  oFolder.Write("f", "0123456789");
  IFileSystem& oFiles = GetFileSystem();
  std::string sContent;
  EXPECT_TRUE(oFiles.ReadFile(oFolder.File("f"), sContent, 10));
  EXPECT_EQ(sContent, "0123456789");
  EXPECT_FALSE(oFiles.ReadFile(oFolder.File("f"), sContent, 9));
  EXPECT_EQ(oFiles.GetLastErrorCode(), EFBIG);
  EXPECT_TRUE(sContent.empty());
  EXPECT_FALSE(oFiles.ReadFile(oFolder.File("none"), sContent, 10));
  EXPECT_EQ(oFiles.GetLastErrorCode(), ENOENT);
}

TEST(FileSystemFilesTest, SizeExistenceAndDeletion) {
  CTempFolder oFolder;
  oFolder.Write("f", "12345");
  IFileSystem& oFiles = GetFileSystem();
  EXPECT_EQ(oFiles.FileSize(oFolder.File("f")), 5);
  EXPECT_EQ(oFiles.FileSize(oFolder.File("none")), -1);
  EXPECT_TRUE(oFiles.FileExists(oFolder.File("f")));
  EXPECT_TRUE(oFiles.FileExists(oFolder.Path()));
  EXPECT_FALSE(oFiles.FolderExists(oFolder.File("f")));
  EXPECT_TRUE(oFiles.FolderExists(oFolder.Path()));
  EXPECT_TRUE(oFiles.DeleteFile(oFolder.File("f")));
  EXPECT_FALSE(oFiles.FileExists(oFolder.File("f")));
  EXPECT_FALSE(oFiles.DeleteFile(oFolder.File("f")));
}

TEST(FileSystemFilesTest, SymlinksAreMadeReadAndDeletedAsLinks) {
  CTempFolder oFolder;
  IFileSystem& oFiles = GetFileSystem();
  oFolder.Write("f", "data");
  std::string sTarget = "old";
  EXPECT_FALSE(oFiles.ReadSymlink(oFolder.File("f"), sTarget));  // a plain file
  EXPECT_EQ(oFiles.GetLastErrorCode(), EINVAL);
  ASSERT_TRUE(oFiles.MakeSymlink(oFolder.File("f"), oFolder.File("link")));
  ASSERT_TRUE(oFiles.ReadSymlink(oFolder.File("link"), sTarget));
  EXPECT_EQ(sTarget, oFolder.File("f"));
  EXPECT_EQ(oFolder.Read("link"), "data");
  EXPECT_FALSE(oFiles.MakeSymlink(oFolder.File("g"), oFolder.File("link")));  // taken
  EXPECT_EQ(oFiles.GetLastErrorCode(), EEXIST);
  // A broken link: no file, but still a link, which deleting removes.
  ASSERT_TRUE(oFiles.MakeSymlink(oFolder.File("none"), oFolder.File("broken")));
  EXPECT_FALSE(oFiles.FileExists(oFolder.File("broken")));
  EXPECT_TRUE(oFiles.ReadSymlink(oFolder.File("broken"), sTarget));
  EXPECT_FALSE(oFiles.MakeSymlink(oFolder.File("f"), oFolder.File("broken")));
  EXPECT_TRUE(oFiles.DeleteFile(oFolder.File("link")));
  EXPECT_TRUE(oFiles.DeleteFile(oFolder.File("broken")));
  EXPECT_EQ(CountEntries(oFolder.Path()), 1);
  EXPECT_EQ(oFolder.Read("f"), "data");
}

TEST(FileSystemFilesTest, MakeFoldersMakesParentsAndRefusesFiles) {
  CTempFolder oFolder;
  IFileSystem& oFiles = GetFileSystem();
  ASSERT_TRUE(oFiles.MakeFolders(oFolder.Path() + "a/b/c/", 0700));
  EXPECT_EQ(ModeOf(oFolder.Path() + "a/b/c"), 0700);
  EXPECT_TRUE(oFiles.MakeFolders(oFolder.Path() + "a/b", 0700));  // already there
  oFolder.Write("file", "x");
  EXPECT_FALSE(oFiles.MakeFolders(oFolder.File("file/sub"), 0700));
}

TEST(FileSystemFilesTest, AppendIsWholeOrCutBack) {
  CTempFolder oFolder;
  oFolder.Write("log", "abc");
  CChildProcess oChild("append_whole_over_limit", {oFolder.File("log")});
  EXPECT_EQ(oChild.Wait(10000), 0);
  EXPECT_EQ(oFolder.Read("log"), "abcxyz");
  EXPECT_FALSE(GetFileSystem().AppendWhole(nullptr, "x"));
  EXPECT_EQ(GetFileSystem().GetLastErrorCode(), EBADF);
}

TEST(FileSystemFilesTest, FakeInjectsFailuresAndPassesTheRestThrough) {
  CTempFolder oFolder;
  CFakeFileSystem oFake;
  SetFileSystemForTesting(&oFake);
  oFake.SetFailure(EFileOp::REPLACE, ENOSPC);
  EXPECT_FALSE(GetFileSystem().ReplaceFile(oFolder.File("x"), "data", 0600));
  EXPECT_EQ(GetFileSystem().GetLastErrorCode(), ENOSPC);
  EXPECT_FALSE(GetFileSystem().FileExists(oFolder.File("x")));
  oFake.SetFailure(EFileOp::REPLACE, 0);
  EXPECT_TRUE(GetFileSystem().ReplaceFile(oFolder.File("x"), "data", 0600));
  EXPECT_EQ(oFolder.Read("x"), "data");
  EXPECT_EQ(oFake.GetCallCount(EFileOp::REPLACE), 2);
  SetFileSystemForTesting(nullptr);
  EXPECT_NE(&GetFileSystem(), &oFake);
}

// --- Paths -------------------------------------------------------------------------------

TEST(FileSystemPathTest, ProgramFolderFromEnvironmentEndsInSlash) {
  const char* szOld = std::getenv("WDX_HOME");
  std::string sOld = szOld != nullptr ? szOld : "";
  setenv("WDX_HOME", "/opt/wardenix", 1);
  EXPECT_EQ(GetProgramFolder(), "/opt/wardenix/");
  setenv("WDX_HOME", "/opt/wardenix/", 1);
  EXPECT_EQ(GetProgramFolder(), "/opt/wardenix/");
  unsetenv("WDX_HOME");
  std::string sExe = GetFileSystem().GetExecutablePath();
  EXPECT_EQ(GetProgramFolder(), sExe.substr(0, sExe.rfind('/') + 1));
  EXPECT_EQ(GetProgramFolder().back(), '/');
  if (szOld != nullptr) setenv("WDX_HOME", sOld.c_str(), 1);
}

TEST(FileSystemPathTest, JoinSplitsAndFolders) {
  EXPECT_EQ(JoinPath("/a/b", "c.txt"), "/a/b/c.txt");
  EXPECT_EQ(JoinPath("/a/b/", "c.txt"), "/a/b/c.txt");
  EXPECT_EQ(JoinPath("/a/b/", "/c.txt"), "/a/b/c.txt");
  EXPECT_EQ(JoinPath("", "c.txt"), "c.txt");
  EXPECT_EQ(JoinPath("/a", ""), "/a/");
  EXPECT_EQ(FolderOf("/A/B/x.exe"), "/A/B/");
  EXPECT_EQ(FileNameOf("/A/B/x.exe"), "x.exe");
  EXPECT_EQ(FolderOf("x.exe"), "");
  EXPECT_EQ(FileNameOf("x.exe"), "x.exe");
  EXPECT_EQ(FolderOf("/A/B/"), "/A/B/");
  EXPECT_EQ(FileNameOf("/A/B/"), "");
}

TEST(FileSystemPathTest, CurrentFolderEndsInSlashAndCanBeChanged) {
  CTempFolder oFolder;
  IFileSystem& oFiles = GetFileSystem();
  std::string sBefore = oFiles.GetCurrentFolder();
  ASSERT_TRUE(oFiles.SetCurrentFolder(oFolder.Path()));
  EXPECT_EQ(oFiles.GetCurrentFolder(), std::filesystem::canonical(oFolder.Path()).string() + "/");
  EXPECT_FALSE(oFiles.SetCurrentFolder(oFolder.File("none")));
  ASSERT_TRUE(oFiles.SetCurrentFolder(sBefore));
}

}  // namespace
}  // namespace wdx
