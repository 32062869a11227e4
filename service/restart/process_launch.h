// CProcessLauncher: the restart program's three ways of starting a program from a command line:
// run hidden (optionally waiting for the end), start (no wait) and run and wait. The command is
// split shell-style (platform/command_words.h) and run without a shell; a command whose
// first word is KILL is performed by the built-in KILL instead (service/restart/kill_command.h).
// A wait ends when the program ends, or early when the stop check says the service is stopping:
// the program then keeps running, which is logged, and is reaped by a later launch or by
// ReapFinished, so no zombie is left behind. A program that cannot be started is logged.
//
// Threading: one object is used by one thread (the operations thread).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace wdx {

class CProcessLauncher final {
 public:
  using StopCheck = std::function<bool()>;

  CProcessLauncher() = default;
  CProcessLauncher(const CProcessLauncher&) = delete;
  CProcessLauncher& operator=(const CProcessLauncher&) = delete;

  // Asked while a wait goes on (nullptr: nothing stops a wait).
  void SetStopCheck(StopCheck fnStopping) { m_fnStopping = std::move(fnStopping); }

  // Each returns true when the command was performed (started, and ended when waited for).
  bool RunHidden(const std::string& sCommand, bool bWait);
  bool Start(const std::string& sCommand);
  bool RunAndWait(const std::string& sCommand);
  // Runs an argument vector hidden and waits as RunHidden does; iExitCode receives the program's
  // exit code (-1 when it was not waited to its end).
  bool RunHiddenAndWait(const std::vector<std::string>& oArgs, int& iExitCode);

  // Reaps the programs that a stop left running and that have ended since.
  void ReapFinished();
  int GetLeftRunningCount() const { return static_cast<int>(m_oLeftRunning.size()); }
  const std::vector<int>& GetLeftRunning() const { return m_oLeftRunning; }

 private:
  bool Launch(const std::string& sCommand, bool bWait);
  bool LaunchArgs(const std::vector<std::string>& oArgs, const std::string& sCommand, bool bWait,
                  int& iExitCode);
  bool WaitForEnd(const std::string& sCommand, int iPid, int& iExitCode);

  StopCheck m_fnStopping;
  std::vector<int> m_oLeftRunning;
};

}  // namespace wdx
