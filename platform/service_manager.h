// Installs, starts, stops, queries and removes the monitor service. Two implementations behind
// one interface: systemd when it runs (unit "wdxsvc.service", Type=notify, Restart=on-failure,
// managed through systemctl), otherwise a built-in supervisor: a detached daemon that runs the
// service program, restarts it when it fails, and records its process id in a pid file.
//
// The service side uses IServiceStatus to tell the manager that it is ready or stopping
// (systemd's notification datagram under systemd, nothing under the supervisor).
//
// Threading: one object per caller thread.
#pragma once

#include <memory>
#include <string>

namespace wdx {

enum class EServiceState { NOT_INSTALLED, STOPPED, START_PENDING, RUNNING, STOP_PENDING };
const char* ServiceStateName(EServiceState eState);

class IServiceManager {
 public:
  virtual ~IServiceManager() = default;
  virtual bool IsInstalled() = 0;
  // Installs the program (full path) as the service, to start at boot. No-op when installed.
  virtual bool Install(const std::string& sProgramPath) = 0;
  // Stops the service if it runs, then removes it. No-op when not installed.
  virtual bool Uninstall() = 0;
  virtual bool Start() = 0;
  // Asks the service to stop and waits until it has (at most iMaxWaitMs).
  virtual bool Stop(int iMaxWaitMs) = 0;
  virtual EServiceState QueryState() = 0;
  // Text of the last failure, for the operator.
  virtual const std::string& GetLastError() const = 0;
};

// systemd when /run/systemd/system exists and WDX_SUPERVISOR is not set, else the supervisor.
std::unique_ptr<IServiceManager> CreateServiceManager();

class IServiceStatus {
 public:
  virtual ~IServiceStatus() = default;
  virtual void NotifyReady() = 0;
  virtual void NotifyStopping() = 0;
  // True when a service manager started this process as its service.
  virtual bool StartedByManager() = 0;
};
std::unique_ptr<IServiceStatus> CreateServiceStatus();

}  // namespace wdx
