// wardenix: the Wardenix console (command-line front).
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "console/console_cli.h"
#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "platform/file_system.h"

int main(int argc, char** argv) {
  const std::string sFolder = wdx::GetProgramFolder();
  std::vector<std::string> oArgs(argv + 1, argv + argc);
  // A settings read creates nothing in the program folder, not even the console's log.
  const bool bLog = !wdx::CConsoleCli::IsSettingsRead(oArgs) ||
                    wdx::GetFileSystem().FileExists(sFolder + "Wardenix.log");
  std::optional<wdx::CLogFile> oLog;  // its lock is made with it
  if (bLog) {
    oLog.emplace();
    oLog->SetFolder(sFolder.c_str());
    if (oLog->Initialize("Wardenix")) wdx::SetProcessLog(&*oLog);
  }
  wdx::CConsoleCli oCli(std::cout, std::cerr, sFolder);
  const int iExit = oCli.Run(oArgs);
  wdx::SetProcessLog(nullptr);
  return iExit;
}
