// CWDXSVR: the service's one command object. It initialises itself (working folder, the
// service log with its banner, the settings, the operations thread) and answers the command
// codes of OpsCommand and GetStringResult. Results are 32-bit integers, -1 for true.
//
// Threading: OpsCommand and GetStringResult may be called from any thread (the command
// endpoint calls them from its thread); the values they share with the operations thread live
// in the thread owner. Construction and destruction happen on the service's main thread.
#pragma once

#include <memory>
#include <string>

#include "service/settings/all_sets.h"

namespace wdx {

class CLogFile;
class CRamFileRO;
class CThreadOwner;

class CWDXSVR final {
 public:
  // Builds the object, initialises it and, when the operations thread found automatic start
  // on, enters GO mode.
  CWDXSVR();
  ~CWDXSVR();
  CWDXSVR(const CWDXSVR&) = delete;
  CWDXSVR& operator=(const CWDXSVR&) = delete;

  bool Initialize();
  int OpsCommand(int iCommand);
  // Empty for codes other than WDX_GET_CURRENT_ACTION and WDX_GET_CURRENT_ACTION_OBJECT.
  std::string GetStringResult(int iCommand);

  bool IsInitialized() const { return m_bInitialized; }
  CThreadOwner* GetThreadOwner() { return m_pThreadOwner.get(); }
  CAllSets& GetSettings() { return m_oAllSets; }

 private:
  bool PrepareFolderAndLog(const std::string& sWorkingFolder);
  void WriteStartBanner();
  int CommandGo();
  int CommandTest();
  int CommandStop();
  int PhoneReadiness(int iCommand);

  bool m_bInitialized = false;
  std::unique_ptr<CThreadOwner> m_pThreadOwner;
  std::unique_ptr<CRamFileRO> m_pKeyFile;
  CAllSets m_oAllSets;
  std::unique_ptr<CLogFile> m_pLogFile;  // the process log, when this object made it
};

}  // namespace wdx
