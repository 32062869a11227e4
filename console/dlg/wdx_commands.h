// IWdxCommands: the main window's view of the service's command object: OpsCommand and
// GetStringResult with the codes of wdx_codes.h, -1 for yes. CreateWdxCommands connects to
// the command endpoint of the program folder (starting the service when nobody answers).
//
// Threading: one object per thread.
#pragma once

#include <memory>
#include <string>

namespace wdx {

class IWdxCommands {
 public:
  virtual ~IWdxCommands() = default;
  virtual bool OpsCommand(int iCommand, int& iResult) = 0;
  virtual bool GetStringResult(int iCommand, std::string& sResult) = 0;
};

// Null, with the reason in the process log, when the command endpoint cannot be reached.
std::unique_ptr<IWdxCommands> CreateWdxCommands(const std::string& sProgramFolder);

}  // namespace wdx
