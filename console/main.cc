// wardenix: the Wardenix console (command-line front).
#include <iostream>
#include <string>
#include <vector>

#include "console/console_cli.h"
#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "platform/file_system.h"

int main(int argc, char** argv) {
  const std::string sFolder = wdx::GetProgramFolder();
  wdx::CLogFile oLog;
  oLog.SetFolder(sFolder.c_str());
  if (oLog.Initialize("Wardenix")) wdx::SetProcessLog(&oLog);
  std::vector<std::string> oArgs(argv + 1, argv + argc);
  wdx::CConsoleCli oCli(std::cout, std::cerr, sFolder);
  const int iExit = oCli.Run(oArgs);
  wdx::SetProcessLog(nullptr);
  return iExit;
}
