// The built-in supervisor: "wdxsupervisor [--ready-fd FD] PIDFILE PROGRAM". Runs PROGRAM as its
// child with WDX_SUPERVISED=1, restarts it 1 s after it fails (non-zero exit or a signal) at most
// 5 times in 60 s, and keeps PIDFILE up to date. A program that cannot be started at all is not
// tried again. SIGTERM, SIGINT or SIGHUP: the service gets SIGTERM, the supervisor waits for it
// to end (the service bounds its own shutdown), removes the pid file and exits 0. The waits
// follow WDX_TIME_SCALE. Its lines go to the system log and to Supervisor.log beside PIDFILE.
//
// A service that a killed supervisor left running in the same program folder (named in the
// stale pid file, checked to be that folder's service) is stopped before a fresh one starts:
// only its parent could tell its crash from its clean end, so it is replaced, not adopted.
//
// FD, when given, is an inherited pipe to the starter: once the pid file is taken and the first
// service process has been started, the supervisor writes one byte to it and closes it. A
// starter that reads end-of-file without that byte knows that the supervisor gave up first.
//
// Threading: single-threaded program.
#pragma once

#include <string>

#include "platform/supervisor/supervisor_log.h"
#include "platform/supervisor_pid_file.h"
#include "platform/unique_fd.h"

namespace wdx {

class CSupervisor final {
 public:
  // oReady: the readiness pipe (may be invalid).
  CSupervisor(std::string sProgram, CSupervisorPidFile& oPidFile, CSupervisorLog& oLog,
              CUniqueFd oReady)
      : m_sProgram(std::move(sProgram)),
        m_oPidFile(oPidFile),
        m_oLog(oLog),
        m_oReady(std::move(oReady)) {}
  CSupervisor(const CSupervisor&) = delete;
  CSupervisor& operator=(const CSupervisor&) = delete;

  // Runs until the service ends well, the supervisor is told to stop, or it gives up.
  // Returns the supervisor's exit code.
  int Run();

 private:
  enum class EOutcome { STOP_REQUESTED, EXITED };
  // Waits until the service iPid ends (iExitCode) or a stop signal arrives.
  EOutcome WaitForServiceOrStop(int iPid, int& iExitCode);
  // Sends the service SIGTERM and waits for it without limit.
  void StopService(int iPid);
  // True when a stop signal arrived within iMs.
  bool StopRequestedWithin(int iMs);
  void RecordService(int iPid, bool bStopping);
  // Tells the starter (once) that the service has been started.
  void ReportReady();
  // Stops the service that a killed supervisor left behind in this program folder (named in
  // the stale pid file); false when a stop signal came meanwhile.
  bool ReplaceOrphan();
  void Log(const std::string& sText, bool bError);

  std::string m_sProgram;
  CSupervisorPidFile& m_oPidFile;
  CSupervisorLog& m_oLog;
  CUniqueFd m_oReady;
};

// Entry of the program: checks the arguments, takes the pid file, runs the supervisor.
int RunSupervisorProgram(int argc, char** argv);

}  // namespace wdx
