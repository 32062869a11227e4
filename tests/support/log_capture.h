// Test helper: installs a CLogFile in a temporary folder as the process log for the lifetime of
// the object, so that a test can look for the exact error entries the code under test wrote.
//
// Threading: one test thread; the object must outlive every call that logs.
#pragma once

#include <string>

#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {

class CLogCapture final {
 public:
  CLogCapture() {
    m_oLog.SetFolder(m_oFolder.Path().c_str());
    m_oLog.Initialize("Capture");
    SetProcessLog(&m_oLog);
  }
  ~CLogCapture() { SetProcessLog(nullptr); }
  CLogCapture(const CLogCapture&) = delete;
  CLogCapture& operator=(const CLogCapture&) = delete;

  bool IsReady() const { return m_oLog.IsReady(); }
  std::string Text() const { return m_oFolder.Read("Capture.log"); }
  // Number of error entries holding exactly sText.
  int CountErrors(const std::string& sText) const {
    const std::string sEntry = " Error: " + sText + "\r\r\n";
    const std::string sAll = Text();
    int iCount = 0;
    for (size_t uAt = sAll.find(sEntry); uAt != std::string::npos;
         uAt = sAll.find(sEntry, uAt + sEntry.size())) {
      ++iCount;
    }
    return iCount;
  }
  bool HasError(const std::string& sText) const { return CountErrors(sText) > 0; }

 private:
  CTempFolder m_oFolder;
  CLogFile m_oLog;
};

}  // namespace wdx::test
