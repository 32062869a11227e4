// Test helper: runs a copy of a system program under a name of the test's choosing, so that
// counter and watcher tests find their processes by a base title nobody else uses. The copy
// lies in the caller's temporary folder; the process is killed and reaped when the object goes.
//
// Threading: one test thread.
#pragma once

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

namespace wdx::test {

// Copies sFrom to sTo (mode 0755); false when it cannot.
inline bool CopyProgram(const std::string& sFrom, const std::string& sTo) {
  {
    std::ifstream oIn(sFrom, std::ios::binary);
    std::ofstream oOut(sTo, std::ios::binary | std::ios::trunc);
    if (!oIn || !oOut) return false;
    oOut << oIn.rdbuf();
    if (!oOut) return false;
  }
  return ::chmod(sTo.c_str(), 0755) == 0;
}

class CSpawnedProgram final {
 public:
  CSpawnedProgram(const std::string& sPath, const std::vector<std::string>& oArgs) {
    std::vector<std::string> oAll{sPath};
    oAll.insert(oAll.end(), oArgs.begin(), oArgs.end());
    std::vector<char*> oArgv;
    for (std::string& sArg : oAll) oArgv.push_back(sArg.data());
    oArgv.push_back(nullptr);
    // The constructor returns once the child runs the program: the close-on-exec pipe reads
    // end-of-file at the exec, so callers never see the test program's image under the pid.
    int aPipe[2];
    if (::pipe2(aPipe, O_CLOEXEC) != 0) return;
    m_iPid = ::fork();
    if (m_iPid == 0) {
      ::execv(sPath.c_str(), oArgv.data());
      const char cFailed = 'x';
      [[maybe_unused]] ssize_t iIgnored = ::write(aPipe[1], &cFailed, 1);
      ::_exit(127);
    }
    ::close(aPipe[1]);
    char cByte = 0;
    ssize_t iRead = 0;
    while ((iRead = ::read(aPipe[0], &cByte, 1)) < 0 && errno == EINTR) {
    }
    ::close(aPipe[0]);
    if (iRead != 0) Kill();  // exec failed: no process to watch
  }
  ~CSpawnedProgram() { Kill(); }
  CSpawnedProgram(const CSpawnedProgram&) = delete;
  CSpawnedProgram& operator=(const CSpawnedProgram&) = delete;

  int Pid() const { return m_iPid; }
  bool IsRunning() const { return m_iPid > 0; }
  void Signal(int iSignal) const {
    if (m_iPid > 0) ::kill(m_iPid, iSignal);
  }
  // Kills and reaps the process (its /proc entry is gone afterwards).
  void Kill() {
    if (m_iPid <= 0) return;
    ::kill(m_iPid, SIGKILL);
    ::waitpid(m_iPid, nullptr, 0);
    m_iPid = -1;
  }

 private:
  int m_iPid = -1;
};

}  // namespace wdx::test
