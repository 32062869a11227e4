// CServiceHost: the service program's entry. Reads the command line ("RegServer",
// "UnregServer", "Service" after "-" or "/", any letter case), and without a switch runs the
// program: as the service when "LocalService" is registered (until SIGTERM, telling the
// service manager when it is ready and stopping), otherwise as a plain local server that quits
// a few seconds after its last client has gone. Exits with the registry error when the program
// is not registered at all.
//
// Threading: Main runs on the main thread; the command object's methods are called from the
// command endpoint's thread.
#pragma once

#include <memory>
#include <string>

namespace wdx {

enum class EHostSwitch { NONE, UNREG_SERVER, REG_SERVER, SERVICE };

// The first switch of the command line (the arguments after the program), as the service
// reads it: after each "-" or "/" the whole rest of the line is compared.
EHostSwitch ParseHostSwitch(const std::string& sCommandLine);
std::string JoinArguments(int argc, const char* const* argv);

// How long a plain local server lingers without clients (a service interval).
inline constexpr int WDX_LOCAL_SERVER_LINGER_MS = 5000;
inline constexpr int WDX_LOCAL_SERVER_MIN_LINGER_MS = 500;
// After a stop signal the worker gets this much real time to end; a worker still inside a step
// that cannot be cut short (an activity sample) is then left behind and the process ends.
inline constexpr int WDX_STOP_SIGNAL_WORKER_MS = 3000;

class CServiceHost final {
 public:
  CServiceHost() = default;
  CServiceHost(const CServiceHost&) = delete;
  CServiceHost& operator=(const CServiceHost&) = delete;

  int Main(int argc, const char* const* argv);

 private:
  int RunSwitch(EHostSwitch eSwitch);
  // Runs the command object behind the endpoint until stopped; returns the exit code.
  int Run(bool bAsService);
  bool WaitUntilStopped(bool bAsService, class ICommandServer& oServer);
  // After a stop signal: ends the worker within WDX_STOP_SIGNAL_WORKER_MS, else the process.
  void EndWorkerOrProcess(class CWDXSVR& oCommandObject, bool bAsService);
};

}  // namespace wdx
