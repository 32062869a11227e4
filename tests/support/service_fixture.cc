#include "tests/support/service_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/process.h"
#include "service/host/wdx_client.h"

namespace wdx::test {
namespace {

const char* const kEnvNames[] = {"WDX_HOME", "WDX_REGISTRY", "WDX_LOCK_DIR", "WDX_SUPERVISOR",
                                 "WDX_TIME_SCALE", "WDX_REBOOT_COMMAND"};

void SleepMs(int iMs) {
  usleep(static_cast<useconds_t>(iMs) * 1000);
}

std::string ReadAll(int iFd) {
  std::string sText;
  char aBuffer[4096];
  ssize_t iRead = 0;
  while ((iRead = read(iFd, aBuffer, sizeof aBuffer)) > 0) sText.append(aBuffer, iRead);
  return sText;
}

}  // namespace

std::string CServiceFixture::ServiceProgram() {
  return std::string(WDX_DIST_DIR) + "/wdxsvc";
}
std::string CServiceFixture::ConsoleProgram() {
  return std::string(WDX_DIST_DIR) + "/wardenix";
}

CServiceFixture::CServiceFixture(int iTimeScale) {
  for (const char* szName : kEnvNames) {
    const char* szOld = std::getenv(szName);
    m_oSavedEnv.emplace_back(szName, szOld ? szOld : std::string("\x01"));
  }
  setenv("WDX_HOME", m_oHome.Path().c_str(), 1);
  setenv("WDX_REGISTRY", RegistryPath().c_str(), 1);
  setenv("WDX_LOCK_DIR", (m_oHome.Path() + "locks").c_str(), 1);
  setenv("WDX_SUPERVISOR", "1", 1);
  setenv("WDX_TIME_SCALE", std::to_string(iTimeScale).c_str(), 1);
  const std::string sRecorder = m_oRebootRecorder.File("reboot-recorder");
  m_oRebootRecorder.Write("reboot-recorder", "#!/bin/sh\necho rebooted >> '" +
                                                 m_oRebootRecorder.File("reboots.txt") + "'\n");
  chmod(sRecorder.c_str(), 0755);
  setenv("WDX_REBOOT_COMMAND", sRecorder.c_str(), 1);
  // Without a restart program the service cannot initialise: every home gets the shipped one.
  const int iFd = open((std::string(WDX_DIST_DIR) + "/Wardenix.ini").c_str(), O_RDONLY | O_CLOEXEC);
  m_oHome.Write("Wardenix.ini", iFd >= 0 ? ReadAll(iFd) : std::string("MaxWait=300\n"));
  if (iFd >= 0) close(iFd);
}

int CServiceFixture::RebootCount() const {
  const std::string sRecord = m_oRebootRecorder.Read("reboots.txt");
  int iCount = 0;
  for (char c : sRecord) iCount += c == '\n' ? 1 : 0;
  return iCount;
}

CServiceFixture::~CServiceFixture() {
  if (m_iPid > 0) {
    kill(m_iPid, SIGKILL);
    waitpid(m_iPid, nullptr, 0);
  }
  for (const auto& [sName, sValue] : m_oSavedEnv) {
    if (sValue == "\x01") {
      unsetenv(sName.c_str());
    } else {
      setenv(sName.c_str(), sValue.c_str(), 1);
    }
  }
}

SRunResult CServiceFixture::Run(const std::string& sProgram,
                                const std::vector<std::string>& oArgs) {
  SRunResult oResult;
  int aOut[2];
  int aErr[2];
  if (pipe2(aOut, O_CLOEXEC) != 0 || pipe2(aErr, O_CLOEXEC) != 0) return oResult;
  std::vector<std::string> oAll = {sProgram};
  oAll.insert(oAll.end(), oArgs.begin(), oArgs.end());
  std::vector<char*> oArgv;
  for (auto& s : oAll) oArgv.push_back(s.data());
  oArgv.push_back(nullptr);
  const pid_t iPid = fork();
  if (iPid == 0) {
    dup2(aOut[1], 1);
    dup2(aErr[1], 2);
    execv(sProgram.c_str(), oArgv.data());
    _exit(127);
  }
  close(aOut[1]);
  close(aErr[1]);
  oResult.m_sOut = ReadAll(aOut[0]);
  oResult.m_sErr = ReadAll(aErr[0]);
  close(aOut[0]);
  close(aErr[0]);
  int iStatus = 0;
  waitpid(iPid, &iStatus, 0);
  oResult.m_iExitCode = WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
  return oResult;
}

bool CServiceFixture::StartServiceProcess(int iWaitMs) {
  const std::string sProgram = ServiceProgram();
  m_iPid = fork();
  if (m_iPid == 0) {
    const int iNull = open("/dev/null", O_RDWR);
    dup2(iNull, 0);
    dup2(iNull, 1);
    execl(sProgram.c_str(), sProgram.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int iWaited = 0; iWaited < iWaitMs; iWaited += 20) {
    CWdxSvrClient oClient(Home());
    if (oClient.Connect(false)) return true;
    int iStatus = 0;
    if (waitpid(m_iPid, &iStatus, WNOHANG) == m_iPid) {
      std::fprintf(stderr, "wdxsvc ended at its start with status %d\n", iStatus);
      m_iPid = -1;
      return false;
    }
    SleepMs(20);
  }
  return false;
}

int CServiceFixture::WaitServiceExit(int iWaitMs) {
  for (int iWaited = 0; m_iPid > 0 && iWaited <= iWaitMs; iWaited += 10) {
    int iStatus = 0;
    if (waitpid(m_iPid, &iStatus, WNOHANG) == m_iPid) {
      m_iPid = -1;
      return WIFEXITED(iStatus) ? WEXITSTATUS(iStatus) : 128 + WTERMSIG(iStatus);
    }
    SleepMs(10);
  }
  return -1;
}

int CServiceFixture::StopServiceProcess(int iWaitMs) {
  if (m_iPid <= 0) return -1;
  kill(m_iPid, SIGTERM);
  return WaitServiceExit(iWaitMs);
}

std::unique_ptr<CWdxSvrClient> CServiceFixture::Connect() {
  auto pClient = std::make_unique<CWdxSvrClient>(Home());
  if (!pClient->Connect(false)) return nullptr;
  return pClient;
}

int CServiceFixture::CountInLog(const char* szText) const {
  const std::string sLog = LogText();
  int iCount = 0;
  for (size_t uAt = sLog.find(szText); uAt != std::string::npos; uAt = sLog.find(szText, uAt + 1)) {
    ++iCount;
  }
  return iCount;
}

}  // namespace wdx::test
