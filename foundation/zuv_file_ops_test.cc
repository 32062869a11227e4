#include "foundation/zuv_file_ops.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "platform/fake_file_system.h"
#include "platform/file_system.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

// Installs a CFakeFileSystem over the real one for one test.
class CInstalledFake final {
 public:
  CInstalledFake() { SetFileSystemForTesting(&m_oFake); }
  ~CInstalledFake() { SetFileSystemForTesting(nullptr); }
  CInstalledFake(const CInstalledFake&) = delete;
  CInstalledFake& operator=(const CInstalledFake&) = delete;
  CFakeFileSystem& Fake() { return m_oFake; }

 private:
  CFakeFileSystem m_oFake;
};

// --- Existence and size ------------------------------------------------------------------------

TEST(ZuvFileOpsExists, FilesAndFolders) {
  test::CTempFolder oFolder;
  oFolder.Write("a.txt", "abc");
  CZuvFileOps oOps;
  EXPECT_TRUE(oOps.FileExists(oFolder.File("a.txt").c_str()));
  EXPECT_TRUE(oOps.FileExists(oFolder.Path().c_str()));
  EXPECT_FALSE(oOps.FileExists(oFolder.File("missing").c_str()));
  EXPECT_FALSE(oOps.FileExists(nullptr));
  EXPECT_TRUE(oOps.FolderExists(oFolder.Path().c_str()));
  EXPECT_FALSE(oOps.FolderExists(oFolder.File("a.txt").c_str()));
  EXPECT_FALSE(oOps.FolderExists(""));
}

TEST(ZuvFileOpsSize, SizeOfAFile) {
  test::CTempFolder oFolder;
  oFolder.Write("five", "12345");
  oFolder.Write("empty", "");
  CZuvFileOps oOps;
  EXPECT_EQ(oOps.FileSizeOf(oFolder.File("five").c_str()), 5);
  EXPECT_EQ(oOps.FileSizeOf(oFolder.File("empty").c_str()), 0);
}

TEST(ZuvFileOpsSize, MissingFileIsMinusOneWithAReport) {
  test::CLogCapture oLog;
  test::CTempFolder oFolder;
  CZuvFileOps oOps;
  const std::string sPath = oFolder.File("gone.log");
  EXPECT_EQ(oOps.FileSizeOf(sPath.c_str()), -1);
  const std::string sText = "Problem: CZuvFileOps::FileSizeOf() cannot open " + sPath;
  EXPECT_TRUE(oLog.HasError(sText));
  EXPECT_EQ(sText, oOps.GetLastError().GetBuffer());
}

TEST(ZuvFileOpsSize, QuietObjectOnlyKeepsTheLastError) {
  test::CLogCapture oLog;
  CZuvFileOps oOps;
  oOps.SetQuiet(true);
  EXPECT_EQ(oOps.FileSizeOf("/nonexistent/wdx/file"), -1);
  EXPECT_STREQ(oOps.GetLastError().GetBuffer(),
               "Problem: CZuvFileOps::FileSizeOf() cannot open /nonexistent/wdx/file");
  EXPECT_EQ(oLog.Text().find("FileSizeOf"), std::string::npos);
}

// --- Delete and copy ---------------------------------------------------------------------------

TEST(ZuvFileOpsDelete, DeletesAFile) {
  test::CTempFolder oFolder;
  oFolder.Write("x", "1");
  CZuvFileOps oOps;
  EXPECT_TRUE(oOps.DeleteFile(oFolder.File("x").c_str()));
  EXPECT_FALSE(oOps.FileExists(oFolder.File("x").c_str()));
}

TEST(ZuvFileOpsDelete, FailureIsAWarningWithThePath) {
  test::CLogCapture oLog;
  test::CTempFolder oFolder;
  CZuvFileOps oOps;
  const std::string sPath = oFolder.File("never");
  EXPECT_FALSE(oOps.DeleteFile(sPath.c_str()));
  const std::string sText = "Warning: Unable to delete file at " + sPath +
                            "\r\n It may already be open in another process.";
  EXPECT_EQ(sText, oOps.GetLastError().GetBuffer());
  EXPECT_TRUE(oLog.HasError(sText));
}

TEST(ZuvFileOpsCopy, CopyReplacesTheTarget) {
  test::CTempFolder oFolder;
  oFolder.Write("src", "new content");
  oFolder.Write("dst", "old");
  CZuvFileOps oOps;
  EXPECT_TRUE(oOps.CopyFile(oFolder.File("src").c_str(), oFolder.File("dst").c_str()));
  EXPECT_EQ(oFolder.Read("dst"), "new content");
}

TEST(ZuvFileOpsCopy, MissingSourceFailsSilently) {
  test::CLogCapture oLog;
  test::CTempFolder oFolder;
  CZuvFileOps oOps;
  oOps.SetLastError("earlier");
  EXPECT_FALSE(oOps.CopyFile(oFolder.File("none").c_str(), oFolder.File("dst").c_str()));
  EXPECT_STREQ(oOps.GetLastError().GetBuffer(), "earlier");
  EXPECT_EQ(oLog.Text().find("Error:"), std::string::npos);
  EXPECT_FALSE(oOps.FileExists(oFolder.File("dst").c_str()));
}

TEST(ZuvFileOpsCopy, FailedCopyNamesTheTarget) {
  test::CTempFolder oFolder;
  oFolder.Write("src", "data");
  test::CLogCapture oLog;
  CInstalledFake oFake;
  oFake.Fake().SetFailure(EFileOp::COPY, EACCES);
  CZuvFileOps oOps;
  const std::string sTarget = oFolder.File("dst");
  EXPECT_FALSE(oOps.CopyFile(oFolder.File("src").c_str(), sTarget.c_str()));
  const std::string sText = "Warning: did not copy to target path: " + sTarget +
                            "\r\n Target path may already be in use.";
  EXPECT_EQ(sText, oOps.GetLastError().GetBuffer());
  EXPECT_TRUE(oLog.HasError(sText));
}

TEST(ZuvFileOpsCopy, QuietCopyFailureIsNotLogged) {
  test::CTempFolder oFolder;
  oFolder.Write("src", "data");
  test::CLogCapture oLog;
  CInstalledFake oFake;
  oFake.Fake().SetFailure(EFileOp::COPY, EACCES);
  CZuvFileOps oOps;
  oOps.SetQuiet(true);
  EXPECT_FALSE(oOps.CopyFile(oFolder.File("src").c_str(), oFolder.File("dst").c_str()));
  EXPECT_FALSE(oOps.GetLastError().IsEmpty());
  EXPECT_EQ(oLog.Text().find("did not copy"), std::string::npos);
}

// --- Paths -------------------------------------------------------------------------------------

TEST(ZuvFileOpsPaths, FolderAndFileNameOfAPath) {
  CZuvFileOps oOps;
  EXPECT_STREQ(oOps.GetFolder("/A/B/x.exe"), "/A/B/");
  EXPECT_STREQ(oOps.GetFileName("/A/B/x.exe"), "x.exe");
  EXPECT_STREQ(oOps.GetFolder("/A/B/"), "/A/B/");
  EXPECT_STREQ(oOps.GetFileName("/A/B/"), "");
  EXPECT_STREQ(oOps.GetFolder("/x"), "/");
}

TEST(ZuvFileOpsPaths, ResultsAreTrimmed) {
  CZuvFileOps oOps;
  EXPECT_STREQ(oOps.GetFileName("/srv/app/ name.log \r\n"), "name.log");
  EXPECT_STREQ(oOps.GetFolder("  /srv/app/name.log"), "/srv/app/");
}

TEST(ZuvFileOpsPaths, NameWithoutFolder) {
  CZuvFileOps oOps;
  EXPECT_STREQ(oOps.GetFileName("plain.txt"), "plain.txt");
  EXPECT_STREQ(oOps.GetFolder("plain.txt"), "");
  EXPECT_STREQ(oOps.GetFileName(nullptr), "");
  EXPECT_STREQ(oOps.GetFolder(nullptr), "");
}

TEST(ZuvFileOpsPaths, SplitExtensionAtTheFirstDot) {
  CZuvFileOps oOps;
  CZuvStr oBase;
  CZuvStr oExt;
  oOps.SplitExtension("UpTime.log", oBase, oExt);
  EXPECT_STREQ(oBase.GetBuffer(), "UpTime");
  EXPECT_STREQ(oExt.GetBuffer(), "log");
  oOps.SplitExtension("archive.tar.gz", oBase, oExt);
  EXPECT_STREQ(oBase.GetBuffer(), "archive");
  EXPECT_STREQ(oExt.GetBuffer(), "tar.gz");
  oOps.SplitExtension("README", oBase, oExt);
  EXPECT_STREQ(oBase.GetBuffer(), "README");
  EXPECT_TRUE(oExt.IsEmpty());
}

TEST(ZuvFileOpsPaths, ModulePathLiesInTheProgramFolder) {
  CZuvFileOps oOps;
  EXPECT_EQ(std::string(oOps.GetModulePath("WDXSVC.exe")), GetProgramFolder() + "WDXSVC.exe");
  EXPECT_EQ(std::string(oOps.GetModulePath("")), GetFileSystem().GetExecutablePath());
  const std::string sLong(400, 'm');
  EXPECT_EQ(std::string(oOps.GetModulePath(sLong.c_str())).size(),
            static_cast<size_t>(ZUV_MAX_MODULE_PATH));
}

}  // namespace
}  // namespace wdx
