#include "components/report/ut_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/process_log.h"
#include "platform/file_system.h"
#include "tests/support/log_file_fixture.h"
#include "tests/support/temp_registry.h"

namespace wdx {
namespace {

const std::string kEnd = "\r\r\n";
const std::string kBanner = "12/05/26 00:00:00 Message: " + std::string(43, '/') + kEnd;

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() : m_oLocks(m_oLockFolder.Path()) {
    auto* pReport = new CUtReport(m_oFolder.Path());
    pReport->AddRef();
    m_pReport = CInterfacePtr<CUtReport>(pReport);
  }

  std::string LogPath() const { return m_oFolder.File("UpTime.log"); }
  std::string DoZevir() const { return m_oFolder.Read("DoZevir.log"); }
  int32_t Call(HRESULT (IUtReport::*pfnMethod)(int32_t*)) {
    int32_t lResult = 12345;
    EXPECT_EQ((m_pReport.Get()->*pfnMethod)(&lResult), S_OK);
    return lResult;
  }
  std::string StartTime() {
    CVariant vText;
    EXPECT_EQ(m_pReport->GetStartTime(&vText), S_OK);
    return vText.GetString();
  }
  int32_t Reload(const CVariant& vType, const char* szDescription, const char* szPath,
                 const char* szStart, const char* szEnd = "") {
    int32_t lResult = 12345;
    EXPECT_EQ(m_pReport->ReloadData(vType, CVariant(szDescription), CVariant(szPath),
                                    CVariant(szStart), CVariant(szEnd), &lResult),
              S_OK);
    return lResult;
  }

  test::CTempFolder m_oLockFolder;
  test::CPrivateLocks m_oLocks;
  test::CTempFolder m_oFolder;
  test::CInstalledClock m_oClock;  // now: 12/06/26 11:33:53
  CInterfacePtr<CUtReport> m_pReport;
};

TEST_F(ReportTest, OpensDoZevirLogAsTheProcessLog) {
  const std::string sExpected = " Message: " + std::string(70, '/') + kEnd;
  const std::string sLog = DoZevir();
  ASSERT_EQ(sLog.find(sExpected), 17u);
  EXPECT_EQ(sLog.find(" Message: ///////DoZevir Started" + kEnd), 17 + sExpected.size() + 17);
  EXPECT_STREQ(GetProcessLog()->GetLogPath(), m_oFolder.File("DoZevir.log").c_str());
  m_pReport.Reset();
  EXPECT_EQ(GetProcessLog(), nullptr);
}

// The script's sequence over a URL that was up for 18 of the last 24 hours.
TEST_F(ReportTest, ScriptWalkReadsSeventyFivePercent) {
  m_oFolder.Write("UpTime.log", kBanner + "12/05/26 11:33:53 (event): 101, http://a/, UP" + kEnd +
                                    "12/05/26 17:00:00 (event): 101, http://a/, UP" + kEnd +
                                    "12/06/26 05:33:53 (event): 101, http://a/, DN" + kEnd);
  int32_t lExists = 0;
  ASSERT_EQ(m_pReport->SetInputFile(CVariant(LogPath()), &lExists), S_OK);
  EXPECT_EQ(lExists, -1);
  EXPECT_NE(DoZevir().find(" (event): CUtReport::SetInputFile: " + LogPath() + kEnd),
            std::string::npos);
  ASSERT_EQ(Reload(CVariant(101), "http://a/", "", "12/05/26 11:33:53"), -1);
  EXPECT_EQ(Call(&IUtReport::GetCount), 3);
  EXPECT_EQ(StartTime(), "XXXX12/05/26 11:33:53");
  EXPECT_EQ(Call(&IUtReport::GetMinutesTillMidnight), 746);
  const int32_t lWindow = 24 * 60;
  int32_t lUpMinutes = 0;
  int32_t lAt = Call(&IUtReport::GetFirstTimepoint);
  ASSERT_EQ(lAt, 0);
  std::vector<std::string> aDates;
  while (lAt != -1) {
    const int32_t lState = Call(&IUtReport::GetPointState);
    aDates.push_back(std::to_string(Call(&IUtReport::GetMonthNumber)) + "/" +
                     std::to_string(Call(&IUtReport::GetDayNumber)) + "/" +
                     std::to_string(Call(&IUtReport::GetYearNumber)) + " " +
                     std::to_string(Call(&IUtReport::GetHourNumber)) + ":" +
                     std::to_string(Call(&IUtReport::GetMinuteNumber)));
    const int32_t lNext = Call(&IUtReport::GetNextTimepoint);
    if (lState == 1) lUpMinutes += (lNext == -1 ? lWindow : lNext) - lAt;
    lAt = lNext;
  }
  EXPECT_EQ(Call(&IUtReport::GetNextTimepoint), -1);
  EXPECT_EQ(aDates,
            (std::vector<std::string>{"12/5/2026 11:33", "12/5/2026 17:0", "12/6/2026 5:33"}));
  EXPECT_DOUBLE_EQ(100.0 * lUpMinutes / lWindow, 75.0);
}

TEST_F(ReportTest, ReloadTakesTextArgumentsAndNeedsAnInputFile) {
  m_oFolder.Write("UpTime.log", kBanner + "12/06/26 10:00:00 (event): 102, r, DN" + kEnd);
  // Nothing named yet: nothing is loaded.
  EXPECT_EQ(Reload(CVariant(102), "r", "", "12/06/26 09:00:00"), 0);
  EXPECT_EQ(Call(&IUtReport::GetCount), 0);
  EXPECT_EQ(StartTime(), "XXXX");
  EXPECT_EQ(Call(&IUtReport::GetMinutesTillMidnight), 0);
  EXPECT_EQ(Call(&IUtReport::GetFirstTimepoint), -1);
  // The path argument names the file; a type given as text, as a shell script passes it.
  EXPECT_EQ(Reload(CVariant("102"), "r", LogPath().c_str(), "12/06/26 09:00:00"), -1);
  EXPECT_EQ(Call(&IUtReport::GetCount), 1);
  EXPECT_EQ(Call(&IUtReport::GetFirstTimepoint), 60);
  // The file stays named for the next load; a bad type text matches nothing.
  EXPECT_EQ(Reload(CVariant("1o2"), "r", "", "12/06/26 09:00:00"), -1);
  EXPECT_EQ(Call(&IUtReport::GetCount), 0);
  int32_t lExists = 12345;
  m_pReport->SetInputFile(CVariant(m_oFolder.Path()), &lExists);
  EXPECT_EQ(lExists, 0);  // a folder is no input file
  m_pReport->SetInputFile(CVariant(m_oFolder.File("missing.log")), &lExists);
  EXPECT_EQ(lExists, 0);
  EXPECT_EQ(Reload(CVariant(102), "r", "", "12/06/26 09:00:00"), 0);
}

TEST_F(ReportTest, DispatchAnswersEveryMethodByName) {
  CInterfacePtr<IDispatch> pDispatch;
  ASSERT_EQ(m_pReport->QueryInterface(IID_IDispatch, pDispatch.Receive()), S_OK);
  const char* aNames[] = {
      "SetInputFile",    "ReloadData",       "GetCount",      "GetFirstTimepoint",
      "GetPointState",   "GetNextTimepoint", "GetStartTime",  "GetMinutesTillMidnight",
      "GetMonthNumber",  "GetDayNumber",     "GetYearNumber", "GetHourNumber",
      "GetMinuteNumber", "GetDirOfModule"};
  for (int32_t lExpected = 1; lExpected <= 14; ++lExpected) {
    int32_t lDispId = 0;
    EXPECT_EQ(pDispatch->GetIDOfName(aNames[lExpected - 1], lDispId), S_OK);
    EXPECT_EQ(lDispId, lExpected) << aNames[lExpected - 1];
  }
  int32_t lDispId = 0;
  EXPECT_EQ(pDispatch->GetIDOfName("getcount", lDispId), S_OK);
  EXPECT_EQ(lDispId, DISPID_GET_COUNT);
  EXPECT_EQ(pDispatch->GetIDOfName("Walk", lDispId), DISP_E_UNKNOWNNAME);

  m_oFolder.Write("UpTime.log", kBanner + "12/06/26 11:33:53 (event): 100, Web, DN" + kEnd);
  struct SCall {
    int32_t lDispId;
    std::vector<CVariant> aArgs;
    CVariant vExpected;
  };
  const SCall aCalls[] = {
      {DISPID_SET_INPUT_FILE, {CVariant(LogPath())}, CVariant(-1)},
      {DISPID_RELOAD_DATA,
       {CVariant("100"), CVariant("Web"), CVariant(""), CVariant("12/06/26 11:00:00"),
        CVariant("")},
       CVariant(-1)},
      {DISPID_GET_COUNT, {}, CVariant(1)},
      {DISPID_GET_FIRST_TIMEPOINT, {}, CVariant(33)},
      {DISPID_GET_POINT_STATE, {}, CVariant(0)},
      {DISPID_GET_START_TIME, {}, CVariant("XXXX12/06/26 11:33:53")},
      {DISPID_GET_YEAR_NUMBER, {}, CVariant(2026)},
      {DISPID_GET_NEXT_TIMEPOINT, {}, CVariant(-1)},
  };
  for (const SCall& oCall : aCalls) {
    CVariant vResult;
    ASSERT_EQ(pDispatch->Invoke(oCall.lDispId, oCall.aArgs, vResult), S_OK) << oCall.lDispId;
    EXPECT_EQ(vResult.GetType(), oCall.vExpected.GetType()) << oCall.lDispId;
    EXPECT_EQ(vResult.GetInt32(), oCall.vExpected.GetInt32()) << oCall.lDispId;
    EXPECT_EQ(vResult.GetString(), oCall.vExpected.GetString()) << oCall.lDispId;
  }
  CVariant vResult;
  EXPECT_EQ(pDispatch->Invoke(DISPID_RELOAD_DATA, {CVariant(100)}, vResult), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(pDispatch->Invoke(15, {}, vResult), DISP_E_MEMBERNOTFOUND);
}

TEST(ReportModuleDir, CutsThePathBeforeTheNameAndDoublesBackslashes) {
  struct SCase {
    const char* szPath;
    const char* szName;
    const char* szFolder;
  };
  const SCase aCases[] = {
      {"/opt/wardenix/WdReport.so", "WdReport.so", "/opt/wardenix/"},
      {"/opt/a\\b/WdReport.so", "WdReport.so", "/opt/a\\\\b/"},
      {"/opt/WdReport.so/WdReport.so", "WdReport.so", "/opt/"},
      {"/opt/wardenix/WdReport.so", "wdreport.so", ""},
      {"/opt/wardenix/WdReport.so", "", ""},
  };
  for (const SCase& oCase : aCases) {
    EXPECT_EQ(CutBeforeModuleName(oCase.szPath, oCase.szName), oCase.szFolder) << oCase.szPath;
  }
  const std::string sLong = "/" + std::string(250, 'd') + "/WdReport.so";
  EXPECT_EQ(CutBeforeModuleName(sLong, "WdReport.so"), "");  // cut off at 255 characters

  const std::string sProgram = GetFileSystem().GetExecutablePath();
  EXPECT_EQ(DirOfModule(FileNameOf(sProgram)), FolderOf(sProgram));
  const std::string sLibc = DirOfModule("libc.so.6");
  ASSERT_FALSE(sLibc.empty());
  EXPECT_TRUE(GetFileSystem().FileExists(sLibc + "libc.so.6")) << sLibc;
  EXPECT_EQ(DirOfModule("NoSuchModule.so"), "");
}

TEST(ReportLogFolder, DevelopmentMarkerChoosesTheDevelopmentFolder) {
  test::CTempFolder oFolder;
  const std::string sDevel = oFolder.File("devel/");
  EXPECT_EQ(ChooseReportLogFolder(oFolder.File("ZuvDevel.txt"), sDevel),
            GetFileSystem().GetCurrentFolder());
  EXPECT_FALSE(GetFileSystem().FolderExists(sDevel));
  oFolder.Write("ZuvDevel.txt", "");
  EXPECT_EQ(ChooseReportLogFolder(oFolder.File("ZuvDevel.txt"), sDevel), sDevel);
  EXPECT_TRUE(GetFileSystem().FolderExists(sDevel));
}

// The library as a script meets it: registered, created by ProgID, its log in the current
// folder, its own folder found by GetDirOfModule, called by name.
TEST(ReportLibrary, RegistersAndServesScriptsByProgId) {
  test::CTempFolder oLockFolder;
  test::CPrivateLocks oLocks(oLockFolder.Path());
  test::CTempRegistry oRegistry;
  test::CTempFolder oWork;
  const std::string sLibrary = std::string(WDX_DIST_DIR) + "/WdReport.so";
  ASSERT_EQ(RegisterLibrary(sLibrary, false), S_OK) << GetComponentError();
  for (const char* szProgId : {PROGID_UtReport, PROGID_UtReport1}) {
    std::string sClsid;
    ASSERT_TRUE(ClsidFromProgId(szProgId, sClsid)) << szProgId;
    EXPECT_TRUE(IsSameGuid(sClsid.c_str(), CLSID_UtReport));
  }
  const std::string sOldFolder = GetFileSystem().GetCurrentFolder();
  ASSERT_TRUE(GetFileSystem().SetCurrentFolder(oWork.Path()));
  {
    CInterfacePtr<IDispatch> pReport;
    ASSERT_EQ(CreateInstance(PROGID_UtReport, IID_IDispatch, pReport.Receive()), S_OK);
    int32_t lDispId = 0;
    ASSERT_EQ(pReport->GetIDOfName("GetDirOfModule", lDispId), S_OK);
    CVariant vFolder;
    ASSERT_EQ(pReport->Invoke(lDispId, {CVariant("WdReport.so")}, vFolder), S_OK);
    EXPECT_EQ(vFolder.GetString(), FolderOf(sLibrary));
    CInterfacePtr<IUtReport> pTyped;
    ASSERT_EQ(pReport->QueryInterface(IID_IUtReport, pTyped.Receive()), S_OK);
    int32_t lCount = 12345;
    pTyped->GetCount(&lCount);
    EXPECT_EQ(lCount, 0);
  }
  ASSERT_TRUE(GetFileSystem().SetCurrentFolder(sOldFolder));
  EXPECT_NE(oWork.Read("DoZevir.log").find("///////DoZevir Started"), std::string::npos);
  EXPECT_EQ(RegisterLibrary(sLibrary, true), S_OK);
}

}  // namespace
}  // namespace wdx
