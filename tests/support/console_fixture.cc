#include "tests/support/console_fixture.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "platform/service_manager.h"

namespace wdx::test {
namespace {

using std::chrono::steady_clock;

int WaitChild(int iPid, int iWaitMs) {
  const auto oDeadline = steady_clock::now() + std::chrono::milliseconds(iWaitMs);
  for (;;) {
    int iStatus = 0;
    if (waitpid(iPid, &iStatus, WNOHANG) == iPid)
      return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
    if (steady_clock::now() > oDeadline) return -1;
    usleep(10000);
  }
}

}  // namespace

CConsoleFixture::~CConsoleFixture() {
  if (m_iPid > 0 && Stop() < 0) std::fprintf(stderr, "the console did not end on SIGTERM\n");
  auto pServices = CreateServiceManager();
  if (pServices->IsInstalled() && !pServices->Uninstall())
    std::fprintf(stderr, "the console's service was not removed: %s\n",
                 pServices->GetLastError().c_str());
}

bool CConsoleFixture::Start(const std::vector<std::string>& oExtraArgs, int iWaitMs) {
  int aOut[2];
  if (pipe2(aOut, O_CLOEXEC) != 0) return false;
  std::vector<std::string> oAll = {CServiceFixture::ConsoleProgram(), "console", "--no-browser",
                                   "--port", "0"};
  oAll.insert(oAll.end(), oExtraArgs.begin(), oExtraArgs.end());
  std::vector<char*> oArgv;
  for (auto& s : oAll) oArgv.push_back(s.data());
  oArgv.push_back(nullptr);
  m_iPid = fork();
  if (m_iPid == 0) {
    dup2(aOut[1], 1);
    execv(oArgv[0], oArgv.data());
    _exit(127);
  }
  close(aOut[1]);
  m_iOutFd = aOut[0];
  m_sFirstLine.clear();
  const auto oDeadline = steady_clock::now() + std::chrono::milliseconds(iWaitMs);
  std::string sRead;
  while (sRead.find('\n') == std::string::npos) {
    const auto iLeft =
        std::chrono::duration_cast<std::chrono::milliseconds>(oDeadline - steady_clock::now());
    pollfd oPoll = {m_iOutFd, POLLIN, 0};
    if (iLeft.count() <= 0 || poll(&oPoll, 1, static_cast<int>(iLeft.count())) <= 0) return false;
    char aBuffer[512];
    const ssize_t iRead = read(m_iOutFd, aBuffer, sizeof aBuffer);
    if (iRead <= 0) return false;  // the console ended before it printed its address
    sRead.append(aBuffer, static_cast<size_t>(iRead));
  }
  m_sFirstLine = sRead.substr(0, sRead.find('\n'));
  return m_sFirstLine.rfind("http://127.0.0.1:", 0) == 0;
}

int CConsoleFixture::Stop(int iWaitMs) {
  if (m_iPid <= 0) return -1;
  kill(m_iPid, SIGTERM);
  int iExit = WaitChild(m_iPid, iWaitMs);
  if (iExit < 0) {
    kill(m_iPid, SIGKILL);
    WaitChild(m_iPid, iWaitMs);
  }
  m_iPid = -1;
  if (m_iOutFd >= 0) close(m_iOutFd);
  m_iOutFd = -1;
  return iExit;
}

std::string CConsoleFixture::BaseUrl() const {
  const size_t uSlash = m_sFirstLine.find('/', 7);  // after "http://"
  return uSlash == std::string::npos ? "" : m_sFirstLine.substr(0, uSlash + 1);
}

int CConsoleFixture::Port() const {
  const std::string sBase = BaseUrl();
  const size_t uColon = sBase.rfind(':');
  return uColon == std::string::npos ? 0 : std::atoi(sBase.c_str() + uColon + 1);
}

std::string CConsoleFixture::Token() const {
  const size_t uAt = m_sFirstLine.find("?token=");
  return uAt == std::string::npos ? "" : m_sFirstLine.substr(uAt + 7);
}

std::string CConsoleFixture::OutputFolder() {
  const testing::TestInfo* pInfo = testing::UnitTest::GetInstance()->current_test_info();
  std::string sName = pInfo ? std::string(pInfo->test_suite_name()) + "." + pInfo->name() : "none";
  for (char& c : sName) {
    if (c == '/') c = '_';  // parameterised tests
  }
  return std::string(WDX_TEST_OUTPUT_DIR) + sName + "/";
}

SRunResult CConsoleFixture::RunBrowser(const std::string& sScript,
                                       const std::vector<std::string>& oArgs) {
  const std::string sOutput = OutputFolder();
  std::error_code oError;
  std::filesystem::remove_all(sOutput, oError);
  std::filesystem::create_directories(sOutput, oError);
  setenv("WDX_CONSOLE_URL", Url().c_str(), 1);
  setenv("WDX_TEST_OUTPUT", sOutput.c_str(), 1);
  std::vector<std::string> oAll = {std::string(WDX_SOURCE_DIR) + "tests/browser/" + sScript};
  oAll.insert(oAll.end(), oArgs.begin(), oArgs.end());
  SRunResult oResult = m_oService.Run("/usr/bin/node", oAll);
  unsetenv("WDX_CONSOLE_URL");
  unsetenv("WDX_TEST_OUTPUT");
  return oResult;
}

}  // namespace wdx::test
