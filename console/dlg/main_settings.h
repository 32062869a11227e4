// IMainSettings: what the main window reads from and writes to AutoSet.caf: whether the
// required settings are present, whether phone alerts are usable, the scan interval, the
// "Log Events" switch and the two display-only options. CreateMainSettings reads the program
// folder's file (an absent file reads as empty) and saves each change under the settings lock.
//
// Threading: one object per thread.
#pragma once

#include <memory>
#include <string>

namespace wdx {

struct SMainSettings {
  bool m_bRequiredValid = false;  // "AdminId", "Password" and "MachineName" are all set
  bool m_bPhoneEnabled = false;   // an enabled row with a number, and both spoken texts
  int m_iMinutes = 10;            // "MinuteInterval", 10 when empty
  bool m_bLogEvents = false;      // "LogEvents"
  bool m_bUseIni = false;         // "UseIni"
  bool m_bAutoDetect = false;     // "WATCH"
};

class IMainSettings {
 public:
  virtual ~IMainSettings() = default;
  // Reads the file afresh. False, with the reason in GetLastError, when it cannot be read.
  virtual bool Load(SMainSettings& oSettings) = 0;
  // Each change is checked (the scan interval's range) and saved; false with the reason.
  virtual bool SetMinutes(const std::string& sValue) = 0;
  virtual bool SetLogEvents(bool bOn) = 0;
  virtual std::string GetLastError() const = 0;
};

std::unique_ptr<IMainSettings> CreateMainSettings(const std::string& sProgramFolder);

}  // namespace wdx
