// The process table: reading /proc (real and a hand-made folder of pid entries), row contents,
// the row limit, and the two lookups.
#include "service/procwatch/image_name.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/log_capture.h"
#include "tests/support/spawned_program.h"
#include "tests/support/temp_folder.h"

namespace wdx {
namespace {

std::string OwnExe() {
  char szPath[4096] = {};
  const ssize_t iRead = readlink("/proc/self/exe", szPath, sizeof(szPath) - 1);
  return iRead > 0 ? std::string(szPath, static_cast<size_t>(iRead)) : std::string();
}

// A folder laid out like /proc: NAME/exe links to a target (which need not exist).
class CFakeProc final {
 public:
  void AddLink(const std::string& sPid, const std::string& sTarget) {
    AddEntry(sPid);
    ASSERT_EQ(symlink(sTarget.c_str(), (m_oFolder.Path() + sPid + "/exe").c_str()), 0);
  }
  void AddEntry(const std::string& sName) {
    ASSERT_EQ(mkdir((m_oFolder.Path() + sName).c_str(), 0755), 0);
  }
  std::string Root() const { return m_oFolder.Path().substr(0, m_oFolder.Path().size() - 1); }

 private:
  test::CTempFolder m_oFolder;
};

TEST(ImageNameProc, RealProcessListHoldsThisProcessInPidOrder) {
  CImageName oTable;
  ASSERT_TRUE(oTable.Initialize());
  const uint32_t uSelf = static_cast<uint32_t>(getpid());
  CProcessImage* pRow = nullptr;
  ASSERT_TRUE(oTable.GetPImageByPid(uSelf, pRow));
  EXPECT_EQ(pRow->GetFullPath(), OwnExe());
  EXPECT_EQ(pRow->GetBaseTitle(), "wdx_unit_tests");
  EXPECT_FALSE(pRow->IsRegistered());
  for (int i = 1; i < oTable.GetCount(); ++i) {
    EXPECT_LT(oTable.GetRow(i - 1)->GetPid(), oTable.GetRow(i)->GetPid());
  }
}

TEST(ImageNameProc, UnreadableAndForeignEntriesAreLeftOut) {
  CFakeProc oProc;
  oProc.AddLink("12", "/opt/app/Server.bin.x");
  oProc.AddLink("3", "/usr/bin/tool");
  oProc.AddEntry("7");    // no exe link: unreadable or kernel thread
  oProc.AddEntry("abc");  // not a process
  oProc.AddLink("99999999999", "/bin/too-big");
  test::CLogCapture oLog;
  CImageName oTable;
  oTable.SetProcRoot(oProc.Root());
  ASSERT_TRUE(oTable.Initialize());
  ASSERT_EQ(oTable.GetCount(), 2);
  EXPECT_EQ(oTable.GetRow(0)->GetPid(), 3u);
  EXPECT_EQ(oTable.GetRow(0)->GetBaseTitle(), "tool");
  EXPECT_EQ(oTable.GetRow(1)->GetPid(), 12u);
  EXPECT_EQ(oTable.GetRow(1)->GetFullPath(), "/opt/app/Server.bin.x");
  EXPECT_EQ(oTable.GetRow(1)->GetBaseTitle(), "Server");
  EXPECT_EQ(oTable.GetRow(1)->GetBaseTitleLength(), 6);
  EXPECT_EQ(oTable.GetRow(2), nullptr);
  EXPECT_EQ(oLog.Text().find("Error"), std::string::npos) << oLog.Text();
}

TEST(ImageNameProc, DeletedMarkOfAReplacedProgramIsTakenOff) {
  const std::string sLong = "/opt/" + std::string(300, 'd') + "/app";
  CFakeProc oProc;
  oProc.AddLink("4", "/usr/bin/app (deleted)");
  oProc.AddLink("5", "/usr/bin/app (deleted) (deleted)");
  oProc.AddLink("6", sLong + " (deleted)");
  oProc.AddLink("7", " (deleted)");
  CImageName oTable;
  oTable.SetProcRoot(oProc.Root());
  ASSERT_TRUE(oTable.Initialize());
  ASSERT_EQ(oTable.GetCount(), 4);
  EXPECT_EQ(oTable.GetRow(0)->GetFullPath(), "/usr/bin/app");
  EXPECT_EQ(oTable.GetRow(0)->GetBaseTitle(), "app");
  EXPECT_EQ(oTable.GetRow(1)->GetFullPath(), "/usr/bin/app (deleted)");
  EXPECT_EQ(oTable.GetRow(2)->GetFullPath(), sLong.substr(0, PROCESS_IMAGE_MAX_PATH));
  EXPECT_EQ(oTable.GetRow(2)->GetBaseTitle(), "app");
  EXPECT_EQ(oTable.GetRow(3)->GetFullPath(), " (deleted)");
}

// A watched program whose file is replaced while it runs (a package upgrade) is still found
// under the path it was started from.
TEST(ImageNameProc, RunningProgramWhoseFileWasRemovedIsFoundByItsPath) {
  test::CTempFolder oFolder;
  const std::string sProgram = oFolder.File("replaced-app");
  ASSERT_TRUE(test::CopyProgram("/bin/sleep", sProgram));
  test::CSpawnedProgram oRunning(sProgram, {"60"});
  const std::string sLink = "/proc/" + std::to_string(oRunning.Pid()) + "/exe";
  std::string sTarget;
  for (int i = 0; i < 500 && sTarget != sProgram; ++i) {
    char szTarget[4096] = {};
    const ssize_t iRead = readlink(sLink.c_str(), szTarget, sizeof(szTarget) - 1);
    sTarget.assign(szTarget, iRead > 0 ? static_cast<size_t>(iRead) : 0);
    if (sTarget != sProgram) usleep(10'000);
  }
  ASSERT_EQ(sTarget, sProgram) << "the copy did not start";
  ASSERT_EQ(unlink(sProgram.c_str()), 0);
  char szTarget[4096] = {};
  ASSERT_GT(readlink(sLink.c_str(), szTarget, sizeof(szTarget) - 1), 0);
  ASSERT_EQ(std::string(szTarget), sProgram + " (deleted)");

  CImageName oTable;
  ASSERT_TRUE(oTable.Initialize());
  CProcessImage* pRow = nullptr;
  ASSERT_TRUE(oTable.GetPImageByProgramName(sProgram, pRow));
  EXPECT_EQ(pRow->GetPid(), static_cast<uint32_t>(oRunning.Pid()));
  EXPECT_EQ(pRow->GetBaseTitle(), "replaced-app");
  CImageNameMatcher oMatcher;
  ASSERT_TRUE(oMatcher.Go(sProgram, &oTable.GetRows()));
  EXPECT_EQ(oMatcher.m_uBestPid, static_cast<uint32_t>(oRunning.Pid()));
}

TEST(ImageNameProc, MissingProcessListFailsInitialize) {
  test::CLogCapture oLog;
  CImageName oTable;
  oTable.SetProcRoot("/nonexistent/proc");
  EXPECT_FALSE(oTable.Initialize());
  EXPECT_EQ(oTable.GetCount(), 0);
  EXPECT_TRUE(oLog.HasError("CImageName::Initialize() failed."));
}

TEST(ImageNameProc, ReloadReplacesTheRows) {
  CFakeProc oProc;
  oProc.AddLink("5", "/bin/a");
  CImageName oTable;
  oTable.SetProcRoot(oProc.Root());
  ASSERT_TRUE(oTable.Initialize());
  oTable.GetRow(0)->SetRegistered(true);
  oProc.AddLink("6", "/bin/b");
  ASSERT_TRUE(oTable.Reload());
  ASSERT_EQ(oTable.GetCount(), 2);
  EXPECT_FALSE(oTable.GetRow(0)->IsRegistered());
}

TEST(ImageNameRows, UnknownPathAddsNothing) {
  CImageName oTable;
  EXPECT_FALSE(oTable.AddImage("unknown", "unknown", 4));
  EXPECT_FALSE(oTable.AddImage("UNKNOWN", "x", 4));
  EXPECT_FALSE(oTable.AddImage(nullptr, "x", 4));
  EXPECT_EQ(oTable.GetCount(), 0);
}

TEST(ImageNameRows, BaseTitleWithoutDotIsTheWholeNameAndPathsAreBounded) {
  CImageName oTable;
  ASSERT_TRUE(oTable.AddImage("/usr/sbin/nginx", "nginx", 40));
  EXPECT_EQ(oTable.GetRow(0)->GetBaseTitle(), "nginx");
  ASSERT_TRUE(oTable.AddImage("/x", ".hidden", 41));
  EXPECT_EQ(oTable.GetRow(1)->GetBaseTitle(), "");
  const std::string sLong(5000, 'p');
  ASSERT_TRUE(oTable.AddImage(sLong.c_str(), sLong.c_str(), 42));
  EXPECT_EQ(oTable.GetRow(2)->GetFullPath().size(), static_cast<size_t>(PROCESS_IMAGE_MAX_PATH));
  EXPECT_EQ(oTable.GetRow(2)->GetBaseTitleLength(), PROCESS_IMAGE_MAX_PATH);
}

TEST(ImageNameRows, TableStopsAtItsRowLimit) {
  CImageName oTable;
  for (uint32_t u = 1; u <= IMAGE_NAME_MAX_ROWS + 10; ++u) oTable.AddImage("/bin/x", "x", u);
  EXPECT_EQ(oTable.GetCount(), IMAGE_NAME_MAX_ROWS);
}

TEST(ImageNameLookup, ByPidZeroOrUnknownFailsWithItsError) {
  test::CLogCapture oLog;
  CImageName oTable;
  oTable.AddImage("/bin/x", "x", 9);
  CProcessImage* pRow = nullptr;
  EXPECT_FALSE(oTable.GetPImageByPid(0, pRow));
  EXPECT_EQ(pRow, nullptr);
  EXPECT_FALSE(oTable.GetPImageByPid(10, pRow));
  EXPECT_EQ(oLog.CountErrors("CImageName::GetPImageByPid failed."), 2);
  ASSERT_TRUE(oTable.GetPImageByPid(9, pRow));
  EXPECT_EQ(pRow->GetFullPath(), "/bin/x");
}

TEST(ImageNameLookup, ByProgramNameTakesTheFirstEqualRowIgnoringCase) {
  test::CLogCapture oLog;
  CImageName oTable;
  oTable.AddImage("/opt/App/server", "server", 20);
  oTable.AddImage("/opt/app/SERVER", "SERVER", 30);
  CProcessImage* pRow = nullptr;
  ASSERT_TRUE(oTable.GetPImageByProgramName("/OPT/APP/SERVER", pRow));
  EXPECT_EQ(pRow->GetPid(), 20u);
  EXPECT_FALSE(oTable.GetPImageByProgramName("", pRow));
  EXPECT_FALSE(oTable.GetPImageByProgramName("/opt/app", pRow));
  EXPECT_EQ(oLog.CountErrors("CImageName::GetPImageByProgramName failed."), 2);
}

TEST(ImageNameLookup, ByProgramNameUsesTheTildeMatchForShortPaths) {
  CImageName oTable;
  oTable.AddImage("C:\\PROGRA~1\\App\\SERVER~1.EXE", "SERVER~1.EXE", 77);
  CProcessImage* pRow = nullptr;
  ASSERT_TRUE(oTable.GetPImageByProgramName("C:\\Program Files\\App\\Server.exe", pRow));
  EXPECT_EQ(pRow->GetPid(), 77u);
  EXPECT_FALSE(oTable.GetPImageByProgramName("D:\\Program Files\\App\\Server.exe", pRow));
}

}  // namespace
}  // namespace wdx
