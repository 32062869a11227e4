// Second processes for cross-process tests: a test registers a child function by name with
// WDX_TEST_CHILD and starts it with CChildProcess, which re-runs the test program with
// "--child NAME ARGS...". The child's exit code is its function's result.
//
// Threading: one test thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace wdx::test {

using ChildFunction = std::function<int(int argc, char** argv)>;
bool RegisterChild(const char* szName, ChildFunction fn);
int RunChild(const char* szName, int argc, char** argv);

class CChildProcess final {
 public:
  CChildProcess(const std::string& sName, const std::vector<std::string>& oArgs);
  ~CChildProcess();  // kills the child if it still runs
  CChildProcess(const CChildProcess&) = delete;
  CChildProcess& operator=(const CChildProcess&) = delete;

  int Pid() const { return m_iPid; }
  // Waits for the end; returns the exit code (128 + signal), -1 on time-out.
  int Wait(int iTimeoutMs);
  void Kill(int iSignal);

 private:
  int m_iPid = -1;
  bool m_bReaped = false;
};

}  // namespace wdx::test

#define WDX_TEST_CHILD(name)                                                  \
  static int name##_child(int argc, char** argv);                            \
  static const bool name##_registered = wdx::test::RegisterChild(#name, name##_child); \
  static int name##_child([[maybe_unused]] int argc, [[maybe_unused]] char** argv)
