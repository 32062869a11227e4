#include "components/report/ut_report.h"

#include <cstdint>
#include <cstdlib>

#include "foundation/process_log.h"
#include "platform/file_system.h"
#include "platform/loaded_modules.h"

namespace wdx {
namespace {

constexpr size_t kMaxModulePath = 255;

std::string TextOf(const CVariant& vValue) {
  CVariant vText = vValue;
  if (vText.GetType() != VT_BSTR && !vText.ChangeTypeToString()) return "";
  return vText.GetString();
}

// The 32-bit value of a Variant; a text is read as a decimal number (0 when it is none).
int32_t Int32Of(const CVariant& vValue) {
  if (vValue.GetType() != VT_BSTR) return vValue.GetInt32();
  const std::string sText = CZuvStr::Trimmed(vValue.GetString());
  char* pEnd = nullptr;
  const long long llValue = std::strtoll(sText.c_str(), &pEnd, 10);
  if (sText.empty() || *pEnd != '\0' || llValue < INT32_MIN || llValue > INT32_MAX) return 0;
  return static_cast<int32_t>(llValue);
}

void Answer(int32_t* plResult, int32_t lValue) {
  if (plResult != nullptr) *plResult = lValue;
}

}  // namespace

std::string ChooseReportLogFolder(const std::string& sMarkerPath, const std::string& sDevelFolder) {
  IFileSystem& oFiles = GetFileSystem();
  if (oFiles.FileExists(sMarkerPath) && oFiles.MakeFolders(sDevelFolder, 0755)) {
    return sDevelFolder;
  }
  return oFiles.GetCurrentFolder();
}

std::string CutBeforeModuleName(const std::string& sPath, const std::string& sName) {
  const std::string sKept = sPath.substr(0, kMaxModulePath);
  const size_t uAt = sName.empty() ? std::string::npos : sKept.find(sName);
  if (uAt == std::string::npos) return "";
  std::string sFolder;
  for (char cChar : sKept.substr(0, uAt)) {
    sFolder += cChar;
    if (cChar == '\\') sFolder += cChar;
  }
  return sFolder;
}

std::string DirOfModule(const std::string& sModuleName) {
  std::string sPath = FindLoadedModule(sModuleName);
  if (sPath.empty()) sPath = GetFileSystem().GetExecutablePath();
  return CutBeforeModuleName(sPath, sModuleName);
}

CUtReport::CUtReport()
    : CUtReport(ChooseReportLogFolder(REPORT_DEVEL_MARKER, REPORT_DEVEL_FOLDER)) {}

CUtReport::CUtReport(const std::string& sLogFolder) : m_pLog(std::make_unique<CLogFile>()) {
  OpenLog(sLogFolder);
  BuildDispatchTable();
}

CUtReport::~CUtReport() {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_pLog.reset();  // removes itself from the process log pointer
}

void CUtReport::OpenLog(const std::string& sFolder) {
  m_pLog->SetMaxSize(LOG_DEFAULT_MAX_SIZE);
  m_pLog->SetFolder(sFolder.c_str());
  m_pLog->Initialize(REPORT_LOG_BASE_NAME);
  SetProcessLog(m_pLog.get());
  m_pLog->LogMessage(std::string(70, '/').c_str());
  m_pLog->LogMessage("///////DoZevir Started");
}

HRESULT CUtReport::SetInputFile(const CVariant& pvPath, int32_t* plResult) {
  const std::string sPath = TextOf(pvPath);
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_oInputFile.Assign(sPath.c_str());
  ZuvLogEvent(("CUtReport::SetInputFile: " + sPath).c_str());
  IFileSystem& oFiles = GetFileSystem();
  Answer(plResult, oFiles.FileExists(sPath) && !oFiles.FolderExists(sPath) ? -1 : 0);
  return S_OK;
}

HRESULT CUtReport::ReloadData(const CVariant& pvType, const CVariant& pvDescription,
                              const CVariant& pvFilePath, const CVariant& pvStartTime,
                              const CVariant& pvEndTime, int32_t* plResult) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  Answer(plResult, 0);
  const int32_t lType = Int32Of(pvType);
  const std::string sDescription = TextOf(pvDescription);
  const std::string sPath = TextOf(pvFilePath);
  if (!sPath.empty()) m_oInputFile.Assign(sPath.c_str());
  // One parser for both texts: an empty end leaves the end equal to the start.
  CZuvTime oTime;
  oTime.SetStartTime(TextOf(pvStartTime).c_str());
  const SDateTime oStart = oTime.GetValue();
  oTime.SetStartTime(TextOf(pvEndTime).c_str());
  const SDateTime oEnd = oTime.GetValue();
  if (m_oInputFile.IsEmpty()) return S_OK;
  if (m_oChannel.ReInitialize(lType, sDescription, m_oInputFile.GetBuffer(), oStart, oEnd)) {
    Answer(plResult, -1);
  }
  return S_OK;
}

HRESULT CUtReport::AnswerFromChannel(int32_t (CChannel::*pfnGetter)(), int32_t* plResult) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  Answer(plResult, (m_oChannel.*pfnGetter)());
  return S_OK;
}

HRESULT CUtReport::GetCount(int32_t* plResult) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  Answer(plResult, m_oChannel.GetCount());
  return S_OK;
}

HRESULT CUtReport::GetFirstTimepoint(int32_t* plResult) {
  return AnswerFromChannel(&CChannel::GetFirstTimepoint, plResult);
}

HRESULT CUtReport::GetPointState(int32_t* plResult) {
  return AnswerFromChannel(&CChannel::GetPointState, plResult);
}

HRESULT CUtReport::GetNextTimepoint(int32_t* plResult) {
  return AnswerFromChannel(&CChannel::GetNextTimepoint, plResult);
}

HRESULT CUtReport::GetStartTime(CVariant* pvResult) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (pvResult != nullptr) {
    *pvResult = CVariant(std::string("XXXX") + m_oChannel.GetFirstStamp().GetBuffer());
  }
  return S_OK;
}

HRESULT CUtReport::GetMinutesTillMidnight(int32_t* plResult) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  Answer(plResult, m_oChannel.GetMinutesTillMidnight());
  return S_OK;
}

HRESULT CUtReport::GetMonthNumber(int32_t* plResult) {
  return AnswerFromChannel(&CChannel::GetMonthNumber, plResult);
}

HRESULT CUtReport::GetDayNumber(int32_t* plResult) {
  return AnswerFromChannel(&CChannel::GetDayNumber, plResult);
}

HRESULT CUtReport::GetYearNumber(int32_t* plResult) {
  return AnswerFromChannel(&CChannel::GetYearNumber, plResult);
}

HRESULT CUtReport::GetHourNumber(int32_t* plResult) {
  return AnswerFromChannel(&CChannel::GetHourNumber, plResult);
}

HRESULT CUtReport::GetMinuteNumber(int32_t* plResult) {
  return AnswerFromChannel(&CChannel::GetMinuteNumber, plResult);
}

HRESULT CUtReport::GetDirOfModule(const CVariant& pvModuleName, CVariant* pvResult) {
  const std::string sFolder = DirOfModule(TextOf(pvModuleName));
  if (pvResult != nullptr) *pvResult = CVariant(sFolder);
  return S_OK;
}

void CUtReport::BuildDispatchTable() {
  using FnInt = HRESULT (CUtReport::*)(int32_t*);
  auto fnInt = [this](FnInt pfnMethod) -> FnDispCall {
    return [this, pfnMethod](const std::vector<CVariant>&, CVariant& oResult) {
      int32_t lValue = 0;
      const HRESULT hr = (this->*pfnMethod)(&lValue);
      oResult = CVariant(lValue);
      return hr;
    };
  };
  auto fnSetInputFile = [this](const std::vector<CVariant>& aArgs, CVariant& oResult) {
    int32_t lValue = 0;
    const HRESULT hr = SetInputFile(aArgs[0], &lValue);
    oResult = CVariant(lValue);
    return hr;
  };
  auto fnReloadData = [this](const std::vector<CVariant>& aArgs, CVariant& oResult) {
    int32_t lValue = 0;
    const HRESULT hr = ReloadData(aArgs[0], aArgs[1], aArgs[2], aArgs[3], aArgs[4], &lValue);
    oResult = CVariant(lValue);
    return hr;
  };
  auto fnGetStartTime = [this](const std::vector<CVariant>&, CVariant& oResult) {
    return GetStartTime(&oResult);
  };
  auto fnGetDirOfModule = [this](const std::vector<CVariant>& aArgs, CVariant& oResult) {
    return GetDirOfModule(aArgs[0], &oResult);
  };
  m_aDispatch = {
      {DISPID_SET_INPUT_FILE, "SetInputFile", 1, fnSetInputFile},
      {DISPID_RELOAD_DATA, "ReloadData", 5, fnReloadData},
      {DISPID_GET_COUNT, "GetCount", 0, fnInt(&CUtReport::GetCount)},
      {DISPID_GET_FIRST_TIMEPOINT, "GetFirstTimepoint", 0, fnInt(&CUtReport::GetFirstTimepoint)},
      {DISPID_GET_POINT_STATE, "GetPointState", 0, fnInt(&CUtReport::GetPointState)},
      {DISPID_GET_NEXT_TIMEPOINT, "GetNextTimepoint", 0, fnInt(&CUtReport::GetNextTimepoint)},
      {DISPID_GET_START_TIME, "GetStartTime", 0, fnGetStartTime},
      {DISPID_GET_MINUTES_TILL_MIDNIGHT, "GetMinutesTillMidnight", 0,
       fnInt(&CUtReport::GetMinutesTillMidnight)},
      {DISPID_GET_MONTH_NUMBER, "GetMonthNumber", 0, fnInt(&CUtReport::GetMonthNumber)},
      {DISPID_GET_DAY_NUMBER, "GetDayNumber", 0, fnInt(&CUtReport::GetDayNumber)},
      {DISPID_GET_YEAR_NUMBER, "GetYearNumber", 0, fnInt(&CUtReport::GetYearNumber)},
      {DISPID_GET_HOUR_NUMBER, "GetHourNumber", 0, fnInt(&CUtReport::GetHourNumber)},
      {DISPID_GET_MINUTE_NUMBER, "GetMinuteNumber", 0, fnInt(&CUtReport::GetMinuteNumber)},
      {DISPID_GET_DIR_OF_MODULE, "GetDirOfModule", 1, fnGetDirOfModule},
  };
}

HRESULT CUtReport::GetIDOfName(const std::string& sName, int32_t& lDispId) {
  return DispatchGetIDOfName(m_aDispatch, sName, lDispId);
}

HRESULT CUtReport::Invoke(int32_t lDispId, const std::vector<CVariant>& aArgs, CVariant& oResult) {
  return DispatchInvoke(m_aDispatch, lDispId, aArgs, oResult);
}

}  // namespace wdx
