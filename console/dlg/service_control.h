// The console's control of the monitor service through the service manager (systemd or the
// built-in supervisor), with the waits, log lines, status lines and message boxes of the main
// window: make sure the service is installed and running, start it, stop it, remove it.
//
// Threading: one object per thread; each call blocks until its waits are over.
#pragma once

#include <memory>
#include <string>

namespace wdx {

class IConsoleOutput;
class IServiceManager;

class IServiceControl {
 public:
  virtual ~IServiceControl() = default;
  // Installs the service (running "wdxsvc -Service" of the program folder) when it is missing,
  // sets it to start at boot, and starts it when stopped, waiting while it starts. False, after
  // a message box, when the console cannot go on.
  virtual bool EnsureRunning() = 0;
  // Starts an installed service and waits while it starts.
  virtual bool Start() = 0;
  // Stops a running service and waits while it stops.
  virtual bool Stop() = 0;
  // The "StopService" button: set to demand start, stop, delete; adds the outcome lines.
  virtual bool Remove() = 0;
};

// pManager null: the service manager of this machine (CreateServiceManager).
std::unique_ptr<IServiceControl> CreateServiceControl(const std::string& sProgramFolder,
                                                      IConsoleOutput& oOutput,
                                                      std::unique_ptr<IServiceManager> pManager);

}  // namespace wdx
