// CUtReport: the object behind the UtReport class of the uptime report component. It owns the
// input file path, the series (CChannel) and the component's own event log DoZevir.log, which
// it opens when it is built and installs as the library's process log: in the process's current
// folder, or in the development folder when the development marker file exists. It answers the
// IUtReport methods and, through IDispatch, the same methods by name for scripts.
//
// Threading: free-threaded; every method that reads or changes the object's state holds the
// object lock, so a series is never read while it is being replaced.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "components/report/channel.h"
#include "components/report/iut_report.h"
#include "foundation/log_file.h"
#include "foundation/zuv_str.h"
#include "platform/component_module.h"
#include "platform/dispatch.h"

namespace wdx {

inline constexpr const char* REPORT_LOG_BASE_NAME = "DoZevir";
inline constexpr const char* REPORT_DEVEL_MARKER = "/ZuvDevel.txt";
inline constexpr const char* REPORT_DEVEL_FOLDER = "/var/tmp/wardenix-devel/";

// The folder of DoZevir.log: sDevelFolder (made when missing) when sMarkerPath exists, else
// the current folder.
std::string ChooseReportLogFolder(const std::string& sMarkerPath, const std::string& sDevelFolder);

// sPath (at most 255 characters of it) cut before the first occurrence of sName, every
// backslash doubled so that it can stand in a script literal; "" when sName does not occur.
std::string CutBeforeModuleName(const std::string& sPath, const std::string& sName);
// What GetDirOfModule answers: CutBeforeModuleName of the loaded module of that file name, or
// of the program's path when no such module is loaded.
std::string DirOfModule(const std::string& sModuleName);

class CUtReport final : public CComObject<CUtReport, IUtReport, IDispatch> {
 public:
  CUtReport();
  // Opens DoZevir.log in sLogFolder instead (tests).
  explicit CUtReport(const std::string& sLogFolder);
  ~CUtReport() override;

  HRESULT SetInputFile(const CVariant& pvPath, int32_t* plResult) override;
  HRESULT ReloadData(const CVariant& pvType, const CVariant& pvDescription,
                     const CVariant& pvFilePath, const CVariant& pvStartTime,
                     const CVariant& pvEndTime, int32_t* plResult) override;
  HRESULT GetCount(int32_t* plResult) override;
  HRESULT GetFirstTimepoint(int32_t* plResult) override;
  HRESULT GetPointState(int32_t* plResult) override;
  HRESULT GetNextTimepoint(int32_t* plResult) override;
  HRESULT GetStartTime(CVariant* pvResult) override;
  HRESULT GetMinutesTillMidnight(int32_t* plResult) override;
  HRESULT GetMonthNumber(int32_t* plResult) override;
  HRESULT GetDayNumber(int32_t* plResult) override;
  HRESULT GetYearNumber(int32_t* plResult) override;
  HRESULT GetHourNumber(int32_t* plResult) override;
  HRESULT GetMinuteNumber(int32_t* plResult) override;
  HRESULT GetDirOfModule(const CVariant& pvModuleName, CVariant* pvResult) override;

  HRESULT GetIDOfName(const std::string& sName, int32_t& lDispId) override;
  HRESULT Invoke(int32_t lDispId, const std::vector<CVariant>& aArgs, CVariant& oResult) override;

  const char* GetLogPath() const { return m_pLog->GetLogPath(); }

 private:
  void OpenLog(const std::string& sFolder);
  void BuildDispatchTable();
  // Answers a getter of the channel under the lock.
  HRESULT AnswerFromChannel(int32_t (CChannel::*pfnGetter)(), int32_t* plResult);

  std::mutex m_oLock;
  CZuvStr m_oInputFile;
  std::unique_ptr<CLogFile> m_pLog;
  CChannel m_oChannel;
  std::vector<SDispMethod> m_aDispatch;
};

}  // namespace wdx
