// IUtReport: the interface of the uptime report component (library WdReport.so, class
// UtReport). A report script loads the series of one monitored item from UpTime.log within a
// time window and walks its time points: for each point the minutes since the window start, the
// state (1 up, 0 down) and its date and time. Every method returns S_OK; its outcome is the
// out-value (-1 true, 0 false for the two loading methods). The object also answers IDispatch
// with the same methods by name, dispatch identifiers 1 to 14 in the order below.
//
// Threading: free-threaded; the object serialises its methods with one lock.
#pragma once

#include <cstdint>

#include "platform/component.h"

namespace wdx {

inline constexpr const char* CLSID_UtReport = "{486AC309-A5C4-4FAA-A5C5-9A00EB429FAC}";
inline constexpr const char* IID_IUtReport = "{85C08A0A-2C5C-48A9-9C8E-FCC3F61240D4}";
inline constexpr const char* DIID_IUtReportEvents = "{13E3C6C5-04C6-4DA9-86D8-05DA86A452A0}";
inline constexpr const char* LIBID_WdReport = "{1BB6849F-E046-41B7-9BBD-EF2C8AE1BA25}";
inline constexpr const char* LIBNAME_WdReport = "WdReport 1.0 Type Library";
inline constexpr const char* PROGID_UtReport = "WdReport.UtReport";
inline constexpr const char* PROGID_UtReport1 = "WdReport.UtReport.1";

enum EUtReportDispId : int32_t {
  DISPID_SET_INPUT_FILE = 1,
  DISPID_RELOAD_DATA = 2,
  DISPID_GET_COUNT = 3,
  DISPID_GET_FIRST_TIMEPOINT = 4,
  DISPID_GET_POINT_STATE = 5,
  DISPID_GET_NEXT_TIMEPOINT = 6,
  DISPID_GET_START_TIME = 7,
  DISPID_GET_MINUTES_TILL_MIDNIGHT = 8,
  DISPID_GET_MONTH_NUMBER = 9,
  DISPID_GET_DAY_NUMBER = 10,
  DISPID_GET_YEAR_NUMBER = 11,
  DISPID_GET_HOUR_NUMBER = 12,
  DISPID_GET_MINUTE_NUMBER = 13,
  DISPID_GET_DIR_OF_MODULE = 14,
};

class IUtReport : public IUnknown {
 public:
  static constexpr const char* kIid = IID_IUtReport;

  virtual HRESULT SetInputFile(const CVariant& pvPath, int32_t* plResult) = 0;
  virtual HRESULT ReloadData(const CVariant& pvType, const CVariant& pvDescription,
                             const CVariant& pvFilePath, const CVariant& pvStartTime,
                             const CVariant& pvEndTime, int32_t* plResult) = 0;
  virtual HRESULT GetCount(int32_t* plResult) = 0;
  virtual HRESULT GetFirstTimepoint(int32_t* plResult) = 0;
  virtual HRESULT GetPointState(int32_t* plResult) = 0;
  virtual HRESULT GetNextTimepoint(int32_t* plResult) = 0;
  virtual HRESULT GetStartTime(CVariant* pvResult) = 0;
  virtual HRESULT GetMinutesTillMidnight(int32_t* plResult) = 0;
  virtual HRESULT GetMonthNumber(int32_t* plResult) = 0;
  virtual HRESULT GetDayNumber(int32_t* plResult) = 0;
  virtual HRESULT GetYearNumber(int32_t* plResult) = 0;
  virtual HRESULT GetHourNumber(int32_t* plResult) = 0;
  virtual HRESULT GetMinuteNumber(int32_t* plResult) = 0;
  virtual HRESULT GetDirOfModule(const CVariant& pvModuleName, CVariant* pvResult) = 0;
};

}  // namespace wdx
