// Test fixture of the event log tests: a private lock folder (so that holding
// "MutexToProtectLogFile" in a test never delays anybody else's log), a fake clock standing at
// 6 December 2026, 11:33:53, and a temporary folder for the logs.
//
// Threading: one test thread; the lock folder is handed to child processes by environment.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "foundation/log_file.h"
#include "platform/clock.h"
#include "platform/fake_clock.h"
#include "tests/support/temp_folder.h"

namespace wdx::test {

// Points the named locks of this process (and of its children) at a private lock folder.
class CPrivateLocks final {
 public:
  explicit CPrivateLocks(const std::string& sFolder) {
    const char* szOld = std::getenv("WDX_LOCK_DIR");
    m_bHadOld = szOld != nullptr;
    if (m_bHadOld) m_sOld = szOld;
    setenv("WDX_LOCK_DIR", sFolder.c_str(), 1);
  }
  ~CPrivateLocks() {
    if (m_bHadOld) {
      setenv("WDX_LOCK_DIR", m_sOld.c_str(), 1);
    } else {
      unsetenv("WDX_LOCK_DIR");
    }
  }
  CPrivateLocks(const CPrivateLocks&) = delete;
  CPrivateLocks& operator=(const CPrivateLocks&) = delete;

 private:
  bool m_bHadOld = false;
  std::string m_sOld;
};

class CInstalledClock final {
 public:
  CInstalledClock() {
    SLocalTime oTime;
    oTime.m_iYear = 2026;
    oTime.m_iMonth = 12;
    oTime.m_iDay = 6;
    oTime.m_iHour = 11;
    oTime.m_iMinute = 33;
    oTime.m_iSecond = 53;
    m_oClock.SetLocalTime(oTime);
    SetClockForTesting(&m_oClock);
  }
  ~CInstalledClock() { SetClockForTesting(nullptr); }
  CInstalledClock(const CInstalledClock&) = delete;
  CInstalledClock& operator=(const CInstalledClock&) = delete;

  CFakeClock& Clock() { return m_oClock; }

 private:
  CFakeClock m_oClock;
};

class LogFileTest : public ::testing::Test {
 protected:
  LogFileTest() : m_oLocks(m_oLockFolder.Path()) {}

  void Open(CLogFile& oLog, const char* szBase = "WDXSVC") {
    oLog.SetFolder(m_oFolder.Path().c_str());
    ASSERT_TRUE(oLog.Initialize(szBase));
  }
  std::string Log(const char* szBase = "WDXSVC") const {
    return m_oFolder.Read(std::string(szBase) + ".log");
  }

  CTempFolder m_oLockFolder;
  CPrivateLocks m_oLocks;
  CTempFolder m_oFolder;
  CInstalledClock m_oClock;
};

}  // namespace wdx::test
