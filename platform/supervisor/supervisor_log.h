// The supervisor's own log, "Supervisor.log" in the program folder, besides the system log:
// where no system log runs (containers) its give-up is still visible. Entries have the shape
// of the other logs of the program folder ("MM/DD/YY HH:MM:SS Message: text" or "Error: ",
// lines ending in CR CR LF). A log of 2,000,000 bytes or more is moved to "Supervisor.old"
// when the supervisor starts. Each entry is one append, so entries are whole or missing; a
// log that cannot be written does not stop the supervisor.
//
// Threading: one thread.
#pragma once

#include <string>

namespace wdx {

inline constexpr const char* WDX_SUPERVISOR_LOG_NAME = "Supervisor.log";
inline constexpr const char* WDX_SUPERVISOR_OLD_LOG_NAME = "Supervisor.old";
inline constexpr long long WDX_SUPERVISOR_LOG_MAX = 2000000;

class CSupervisorLog final {
 public:
  // sFolder ends in "/"; rotates a full log.
  explicit CSupervisorLog(const std::string& sFolder);
  CSupervisorLog(const CSupervisorLog&) = delete;
  CSupervisorLog& operator=(const CSupervisorLog&) = delete;

  // Appends one entry and writes "wdxsupervisor: " + sText to the system log.
  void Write(const std::string& sText, bool bError);
  const std::string& GetPath() const { return m_sPath; }

 private:
  std::string m_sPath;
  bool m_bFailureReported = false;
};

}  // namespace wdx
