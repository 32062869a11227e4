// The built-in supervisor's pid file, shared by the supervisor (which writes it) and the
// service manager (which reads it). Text of two or three lines: the supervisor's process id,
// the service's process id (0 while none runs), and "stopping" once the supervisor has been
// asked to stop. Every write replaces the whole file atomically, so a reader never sees half.
//
// Threading: CSupervisorPidFile is used by one thread; the free functions are stateless.
#pragma once

#include <string>

namespace wdx {

struct SPidFileContent {
  int m_iSupervisorPid = 0;
  int m_iServicePid = 0;
  bool m_bStopping = false;
};

std::string FormatPidFile(const SPidFileContent& oContent);
// False for anything but the format above.
bool ParsePidFile(const std::string& sText, SPidFileContent& oContent);
// False when the file is missing, unreadable or not in the format above.
bool ReadPidFile(const std::string& sPath, SPidFileContent& oContent);
// True when iPid is a live process that was started with sPidFilePath as one of its arguments
// (so a reused process id is not taken for a supervisor).
bool IsSupervisorOf(int iPid, const std::string& sPidFilePath);
// True when iPid is a live service process of the program folder sProgramFolder: started by a
// supervisor (WDX_SUPERVISED=1) with sProgram as one of its arguments, and with
// sProgramFolder as its program folder (its WDX_HOME, else the folder of sProgram). Tells a
// service whose supervisor was killed from a process that reuses its id.
bool IsServiceOf(int iPid, const std::string& sProgram, const std::string& sProgramFolder);

// The supervisor's hold on its pid file: created once, rewritten as the service comes and goes,
// removed when the object goes.
class CSupervisorPidFile final {
 public:
  CSupervisorPidFile() = default;
  ~CSupervisorPidFile() { Remove(); }
  CSupervisorPidFile(const CSupervisorPidFile&) = delete;
  CSupervisorPidFile& operator=(const CSupervisorPidFile&) = delete;

  // Writes a new pid file naming iOwnPid. Refused when the file names another live supervisor;
  // a stale file is replaced, and the service process it named is kept for
  // GetStaleServicePid().
  bool Create(const std::string& sPath, int iOwnPid);
  // The service process id of the stale file that Create replaced (0: none).
  int GetStaleServicePid() const { return m_iStaleServicePid; }
  const std::string& GetPath() const { return m_sPath; }
  bool Update(const SPidFileContent& oContent);
  void Remove();
  const std::string& GetLastError() const { return m_sLastError; }

 private:
  bool WriteTemporary(const SPidFileContent& oContent, std::string& sTemporary);

  std::string m_sPath;
  bool m_bOwned = false;
  int m_iStaleServicePid = 0;
  std::string m_sLastError;
};

}  // namespace wdx
