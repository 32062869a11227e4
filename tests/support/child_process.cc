#include "tests/support/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <map>

namespace wdx::test {
namespace {

std::map<std::string, ChildFunction>& Children() {
  static std::map<std::string, ChildFunction> oChildren;
  return oChildren;
}

}  // namespace

bool RegisterChild(const char* szName, ChildFunction fn) {
  Children()[szName] = std::move(fn);
  return true;
}

int RunChild(const char* szName, int argc, char** argv) {
  auto it = Children().find(szName);
  if (it == Children().end()) {
    std::fprintf(stderr, "no child function named %s\n", szName);
    return 99;
  }
  return it->second(argc, argv);
}

CChildProcess::CChildProcess(const std::string& sName, const std::vector<std::string>& oArgs) {
  std::vector<std::string> oAll = {"/proc/self/exe", "--child", sName};
  oAll.insert(oAll.end(), oArgs.begin(), oArgs.end());
  std::vector<char*> oArgv;
  for (auto& s : oAll) oArgv.push_back(s.data());
  oArgv.push_back(nullptr);
  m_iPid = fork();
  if (m_iPid == 0) {
    execv("/proc/self/exe", oArgv.data());
    _exit(127);
  }
}

CChildProcess::~CChildProcess() {
  if (m_iPid > 0 && !m_bReaped) {
    kill(m_iPid, SIGKILL);
    waitpid(m_iPid, nullptr, 0);
  }
}

int CChildProcess::Wait(int iTimeoutMs) {
  if (m_iPid <= 0) return -1;
  for (int iWaited = 0; iWaited <= iTimeoutMs; iWaited += 5) {
    int iStatus = 0;
    pid_t iDone = waitpid(m_iPid, &iStatus, WNOHANG);
    if (iDone == m_iPid) {
      m_bReaped = true;
      if (WIFEXITED(iStatus)) return WEXITSTATUS(iStatus);
      if (WIFSIGNALED(iStatus)) return 128 + WTERMSIG(iStatus);
      return -1;
    }
    struct timespec oPause = {0, 5'000'000};
    nanosleep(&oPause, nullptr);
  }
  return -1;
}

void CChildProcess::Kill(int iSignal) {
  if (m_iPid > 0 && !m_bReaped) kill(m_iPid, iSignal);
}

}  // namespace wdx::test
