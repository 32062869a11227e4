// CConsoleFixture: the web console as an operator meets it, for browser tests. It runs the
// real `wardenix console --no-browser --port 0` of this build in a CServiceFixture's program
// folder, reads the address it prints first, and runs node scripts of tests/browser/ against it
// (Playwright driving Debian's chromium). A script is given WDX_CONSOLE_URL (the address with
// the token), WDX_HOME (the program folder) and WDX_TEST_OUTPUT (build/test-output/Suite.Test/,
// emptied first, where it writes its screenshots).
//
// At its end the fixture stops the console (SIGTERM) and removes a service that the console
// installed under the built-in supervisor.
//
// Threading: one test thread.
#pragma once

#include <string>
#include <vector>

#include "tests/support/service_fixture.h"

namespace wdx::test {

class CConsoleFixture final {
 public:
  explicit CConsoleFixture(int iTimeScale = 20) : m_oService(iTimeScale) {}
  ~CConsoleFixture();
  CConsoleFixture(const CConsoleFixture&) = delete;
  CConsoleFixture& operator=(const CConsoleFixture&) = delete;

  CServiceFixture& Service() { return m_oService; }
  const std::string& Home() const { return m_oService.Home(); }

  // Starts the console with extra arguments and waits (at most iWaitMs) for its first line;
  // false, with the reason in FirstLine() or on standard error, when none came.
  bool Start(const std::vector<std::string>& oExtraArgs = {}, int iWaitMs = 30000);
  // SIGTERM and the wait for the end: the exit code, -1 on time-out (the console is then killed).
  int Stop(int iWaitMs = 15000);
  int Pid() const { return m_iPid; }

  const std::string& FirstLine() const { return m_sFirstLine; }
  const std::string& Url() const { return m_sFirstLine; }  // with the token
  std::string BaseUrl() const;                             // "http://127.0.0.1:PORT/"
  int Port() const;
  std::string Token() const;

  // Runs `node tests/browser/<sScript> args...` to its end with the variables above.
  SRunResult RunBrowser(const std::string& sScript, const std::vector<std::string>& oArgs = {});
  // build/test-output/<Suite.Test>/ of the running test (made by RunBrowser).
  static std::string OutputFolder();

 private:
  CServiceFixture m_oService;
  int m_iPid = -1;
  int m_iOutFd = -1;  // the console's standard output, kept open until it ends
  std::string m_sFirstLine;
};

}  // namespace wdx::test
