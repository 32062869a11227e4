// CConsoleCli: the console's command-line front: sends command codes to the service, reads its
// strings, and edits the settings file. Usage:
//
//   wardenix go | stop               enter or leave GO mode with the main window's waits
//                                    (go_cli.h; stop also turns "AutoRun" off)
//   wardenix status [--json]         operations state by name, GO mode, current action
//   wardenix command CODE            result of OpsCommand(CODE)
//   wardenix string CODE             result of GetStringResult(CODE)
//   wardenix settings list | get KEY|SECTION | set KEY VALUE | add SECTION LINE
//                     | remove SECTION LINE | export | import FILE
//   wardenix email test | send-test  greet the mail server | send one test message
//   wardenix report                  write RParams.txt, run UtRpt.sh, print the report's path
//   wardenix sensitivity test [S]    one detection pass with sensitivity S (see sense/sense_cli.h)
//   wardenix console [--port N] [--no-browser]   the web console (console_command.h)
//
// Settings reads create nothing; every change is saved under the settings lock, and while the
// service is in GO mode the console says that the change takes effect at the next GO (the
// service reads the settings afresh when GO mode starts).
//
// The program folder is WDX_HOME when set, else the folder of the program. Exit code 0 on
// success, 1 when the service cannot be reached or an operation fails, 2 on a usage error.
//
// Threading: one thread.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace wdx {

class CConsoleCli final {
 public:
  CConsoleCli(std::ostream& oOut, std::ostream& oErr, const std::string& sProgramFolder)
      : m_oOut(oOut), m_oErr(oErr), m_sFolder(sProgramFolder) {}
  CConsoleCli(const CConsoleCli&) = delete;
  CConsoleCli& operator=(const CConsoleCli&) = delete;

  int Run(const std::vector<std::string>& oArgs);
  // Whether the arguments ask for a settings read (list, get, export).
  static bool IsSettingsRead(const std::vector<std::string>& oArgs);

 private:
  int Usage();
  // Leaves GO mode as the console's Stop does: STOP, wait for GO mode to end, "AutoRun" := "0".
  int Stop();
  bool WaitUntilGoModeEnds(class CWdxSvrClient& oClient, bool& bReached);
  int Status();
  int Command(const std::vector<std::string>& oArgs);
  int String(const std::vector<std::string>& oArgs);
  int Settings(const std::vector<std::string>& oArgs);
  int SettingsChange(const std::vector<std::string>& oArgs);
  // Whether a running service is in GO mode (it is asked only when it already runs).
  bool IsGoModeRunning();
  bool ParseCode(const std::string& sText, int& iCode);

  std::ostream& m_oOut;
  std::ostream& m_oErr;
  std::string m_sFolder;
};

}  // namespace wdx
