#include "service/host/wdx_svr.h"

#include <cstdio>

#include "foundation/log_file.h"
#include "foundation/process_log.h"
#include "foundation/ram_file.h"
#include "foundation/settings_lock.h"
#include "platform/debug_output.h"
#include "platform/file_system.h"
#include "service/host/thread_owner.h"
#include "service/host/wdx_codes.h"
#include "service/ops/ops_mngr_thread.h"

namespace wdx {

CWDXSVR::CWDXSVR() {
  OpsCommand(WDX_INITIALIZE);
  if (m_pThreadOwner && m_pThreadOwner->m_bOpsMngrThreadInitialized && m_pThreadOwner->m_bAutoGo) {
    OpsCommand(WDX_GO);
  }
}

CWDXSVR::~CWDXSVR() {
  if (m_pThreadOwner) {
    m_pThreadOwner->m_bTerminate = true;
    if (m_pThreadOwner->AreThreadsStarted()) m_pThreadOwner->KillAllThreads();
    m_pThreadOwner.reset();
  }
  m_pKeyFile.reset();
  ZuvLogEvent("WdxSvc functions terminated.********************************************");
  if (m_pLogFile) {
    SetProcessLog(nullptr);
    m_pLogFile.reset();
  }
}

bool CWDXSVR::Initialize() {
  if (m_bInitialized) return true;
  if (m_pThreadOwner) {
    m_pThreadOwner->m_bTerminate = true;
    if (m_pThreadOwner->AreThreadsStarted()) m_pThreadOwner->KillAllThreads();
  }
  m_pThreadOwner = std::make_unique<CThreadOwner>();
  m_pThreadOwner->m_pSettings = &m_oAllSets;
  const std::string sFolder = GetProgramFolder();
  bool bOk = PrepareFolderAndLog(sFolder);
  if (bOk) {
    // The load creates an absent file, so it waits for any other writer.
    CSettingsLock oLock;
    m_pKeyFile = std::make_unique<CRamFileRO>();
    bOk = !oLock.IsTimedOut() && m_pKeyFile->Initialize(sFolder.c_str(), WDX_SETTINGS_FILE);
  }
  if (bOk) {
    ZuvLogEvent("CWDXSVR::Initialize() 2");
    m_oAllSets.m_pKeyFile = m_pKeyFile.get();
    bOk = m_oAllSets.m_oStrWorkingFolder.Assign(sFolder.c_str()) && m_oAllSets.ReInitialize();
  }
  if (!bOk) {
    ZuvLogEvent("CWDXSVR::Initialize() failed.");
    return false;
  }
  ZuvLogEvent("CWDXSVR::Initialize() 3");
  m_pThreadOwner->StartThreads();
  ZuvLogEvent("CWDXSVR::Initialize() 4");
  m_bInitialized = true;
  return true;
}

bool CWDXSVR::PrepareFolderAndLog(const std::string& sWorkingFolder) {
  m_pThreadOwner->m_sWorkingDirectory = sWorkingFolder;
  GetFileSystem().SetCurrentFolder(sWorkingFolder);
  if (GetProcessLog() != nullptr) return true;
  m_pLogFile = std::make_unique<CLogFile>();
  m_pLogFile->EnableBlankLines(true);
  m_pLogFile->SetFolder(sWorkingFolder.c_str());
  if (!m_pLogFile->Initialize(WDX_LOG_BASE_NAME)) {
    m_pLogFile.reset();
    return false;
  }
  SetProcessLog(m_pLogFile.get());
  WriteStartBanner();
  return true;
}

void CWDXSVR::WriteStartBanner() {
  const std::string s70(70, '/');
  ZuvLogBlankLines(1);
  for (int iSlashes : {21, 28, 34, 40}) ZuvLogMessage(std::string(iSlashes, '/').c_str());
  ZuvLogMessage("/////////// WDXSVR Started ///////////");
  ZuvLogMessage(s70.c_str());
  ZuvLogBlankLines(1);
  ZuvLogMessage(s70.c_str());
  ZuvLogMessage(s70.c_str());
  ZuvLogMessage("////   Wardenix monitor service: watches this server's programs   ////");
  ZuvLogMessage("////   and pages, restarts what fails and tells the people on call ////");
  ZuvLogMessage("////   Copyright (c) Wardenix. All rights reserved.               ////");
  ZuvLogMessage(s70.c_str());
  ZuvLogMessage("Operators: settings, logs and reports are in the program folder.");
  ZuvLogMessage(s70.c_str());
  ZuvLogMessage(s70.c_str());
  ZuvLogBlankLines(1);
}

int CWDXSVR::OpsCommand(int iCommand) {
  switch (iCommand) {
    case WDX_INITIALIZE:
      DebugOutput("CWDXSVR::OpsCommand WDX_INITIALIZE command received.\n");
      return Initialize() ? WDX_TRUE : WDX_FALSE;
    case WDX_GO:
      return CommandGo();
    case WDX_TEST:
      return CommandTest();
    case WDX_STOP:
      return CommandStop();
    case WDX_GET_STATE:
      return m_pThreadOwner ? m_pThreadOwner->m_iOpsState.load() : 0;
    case WDX_IS_GO_MODE:
      return m_pThreadOwner && m_pThreadOwner->m_bGoLoopActive ? WDX_TRUE : WDX_FALSE;
    case PHONE_INIT_CALL_THREAD:
    case PHONE_INIT_SAPI:
    case PHONE_INIT_TAPI:
    case PHONE_INIT_READY:
      return PhoneReadiness(iCommand);
    default:
      ZuvLogError("CWDXSVR::OpsCommand Unknown command received.");
      return WDX_FALSE;
  }
}

int CWDXSVR::CommandGo() {
  ZuvLogEvent("CWDXSVR::OpsCommand WDX_GO command received.");
  if (!m_pThreadOwner || m_pThreadOwner->m_iOpsState == WDX_STATE_RUNNING) return WDX_TRUE;
  m_pThreadOwner->m_bTest = false;
  m_pThreadOwner->m_bGo = true;
  if (COpsMngrThread* pWorker = m_pThreadOwner->GetOpsMngrThread()) {
    pWorker->m_iPendingCommand = WDX_GO;
  }
  m_pThreadOwner->GetCommandEvent().Fire();
  return WDX_TRUE;
}

int CWDXSVR::CommandTest() {
  ZuvLogEvent("CWDXSVR::OpsCommand WDX_TEST command received.");
  if (!m_pThreadOwner || m_pThreadOwner->m_iOpsState == WDX_STATE_RUNNING) return WDX_TRUE;
  m_pThreadOwner->m_bGo = false;
  m_pThreadOwner->m_bTest = true;
  if (COpsMngrThread* pWorker = m_pThreadOwner->GetOpsMngrThread()) {
    pWorker->m_iPendingCommand = WDX_TEST;
  }
  m_pThreadOwner->GetCommandEvent().Fire();
  return WDX_TRUE;
}

int CWDXSVR::CommandStop() {
  ZuvLogEvent("CWDXSVR::OpsCommand WDX_STOP command received.");
  if (!m_pThreadOwner || m_pThreadOwner->m_iOpsState == WDX_STATE_STOPPED) return WDX_TRUE;
  // The state is published before the flags that end the GO loop, so that the loop's own
  // final state (stopped, or failing) is always written after it and never overwritten.
  m_pThreadOwner->m_iOpsState = WDX_STATE_STOP_REQUESTED;
  if (COpsMngrThread* pWorker = m_pThreadOwner->GetOpsMngrThread()) {
    pWorker->m_iPendingCommand = WDX_STOP;
  }
  m_pThreadOwner->m_bGo = false;
  m_pThreadOwner->m_bTest = false;
  m_pThreadOwner->GetCommandEvent().Fire();
  return WDX_TRUE;
}

int CWDXSVR::PhoneReadiness(int iCommand) {
  COpsMngrThread* pWorker = m_pThreadOwner ? m_pThreadOwner->GetOpsMngrThread() : nullptr;
  if (pWorker == nullptr) return WDX_FALSE;
  pWorker->GetPhoneReadyState();
  return pWorker->m_aPhoneReady[iCommand - PHONE_INIT_CALL_THREAD] ? WDX_TRUE : WDX_FALSE;
}

std::string CWDXSVR::GetStringResult(int iCommand) {
  std::string sResult;
  if (iCommand == WDX_GET_CURRENT_ACTION) {
    DebugOutput("CWDXSVR::GetStringResult WDX_GET_CURRENT_ACTION command received.\n");
    if (m_pThreadOwner) m_pThreadOwner->GetCurrentAction(sResult);
  } else if (iCommand == WDX_GET_CURRENT_ACTION_OBJECT) {
    DebugOutput("CWDXSVR::GetStringResult WDX_GET_CURRENT_ACTION_OBJECT command received.\n");
    if (m_pThreadOwner) m_pThreadOwner->GetCurrentActionObject(sResult);
  }
  return sResult;
}

}  // namespace wdx
