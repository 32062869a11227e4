// The console's control of the monitor service through the service manager (systemd or the
// built-in supervisor), with the waits, log lines, status lines and message boxes of the main
// window: make sure the service is installed and running, start it, stop it, remove it.
//
// Threading: one object per thread; each call blocks until its waits are over.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace wdx {

class IConsoleOutput;
class IServiceManager;

// The service manager tells no wait hint: these stand in for it. A start is waited for up to
// kServiceStartWaitHintMs, a stop up to kServiceStopWaitHintMs, polling every tenth of that
// (at least 1 s, at most 10 s). Removal asks up to kServiceRemoveTries times, 500 ms apart.
inline constexpr int kServiceStartWaitHintMs = 20000;
inline constexpr int kServiceStopWaitHintMs = 130000;
inline constexpr int kServiceRemoveTries = 20;
inline constexpr int kServiceRemovePauseMs = 500;

class IServiceControl {
 public:
  virtual ~IServiceControl() = default;
  // Installs the service (running "wdxsvc -Service" of the program folder) when it is missing,
  // sets it to start at boot, and starts it when stopped, waiting while it starts. False when
  // the service does not run afterwards: after a message box when the operator must act (no
  // service manager, no service, a start or stop under way), else after log entries only.
  virtual bool EnsureRunning() = 0;
  // Starts an installed service and waits while it starts (messages as EnsureRunning).
  virtual bool Start() = 0;
  // Stops an installed service and waits while it stops; true when it is stopped.
  virtual bool Stop() = 0;
  // The "StopService" button: set to demand start, stop, delete; adds the outcome lines.
  virtual bool Remove() = 0;
};

// pManager null: the service manager of this machine (CreateServiceManager).
std::unique_ptr<IServiceControl> CreateServiceControl(const std::string& sProgramFolder,
                                                      IConsoleOutput& oOutput,
                                                      std::unique_ptr<IServiceManager> pManager);

// Runs a program to its end (RunAndWait of platform/process.h; unit tests pass their own).
using FnRunProgram = std::function<bool(const std::vector<std::string>& oArgs, int& iExitCode)>;
// As above, with pManager required and fnRun running the service program's registration.
std::unique_ptr<IServiceControl> CreateServiceControl(const std::string& sProgramFolder,
                                                      IConsoleOutput& oOutput,
                                                      std::unique_ptr<IServiceManager> pManager,
                                                      FnRunProgram fnRun);

}  // namespace wdx
