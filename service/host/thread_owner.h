// CThreadOwner: owns the operations manager thread and every value that the command interface
// and that thread share: the command event, the go/test/terminate flags, the pending command
// (kept by the thread object), the operations state, the GO-loop-active flag and the
// current-action pair that the console reads.
//
// Threading: the flags and integers are atomics, each written by one side and read by the
// other; the command event carries the wake-up. The current-action pair is guarded by a mutex
// that the writer only tries: while a reader is copying, an update is dropped (the busy rule).
// Initialize, StartThreads and KillAllThreads are called by the thread that owns this object.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "foundation/zuv_base.h"
#include "foundation/zuv_event.h"

namespace wdx {

class CAllSets;
class COpsMngrThread;

// Waits of the owner, as the operator knows them (service intervals: WDX_TIME_SCALE shortens).
inline constexpr int WDX_COMMAND_EVENT_TIMEOUT_MS = 1000;
inline constexpr int WDX_INIT_WAIT_TRIES = 75;
inline constexpr int WDX_INIT_WAIT_SLICE_MS = 200;
// KillAllThreads gives the worker WDX_KILL_WAIT_TRIES x WDX_KILL_WAIT_SLICE_MS of real time in
// all; only its slices are shortened.
inline constexpr int WDX_KILL_WAIT_TRIES = 240;
inline constexpr int WDX_KILL_WAIT_SLICE_MS = 500;
inline constexpr int WDX_KILL_WAIT_MIN_SLICE_MS = 50;  // real time, whatever the time scale

class CThreadOwner final : public CZuvBase {
 public:
  CThreadOwner();
  ~CThreadOwner() override;

  bool Initialize();
  bool StartThreads();
  // Sets the terminate flag and waits for the worker's end, at most iGiveUpAfterMs of real time.
  bool KillAllThreads(int iGiveUpAfterMs = WDX_KILL_WAIT_TRIES * WDX_KILL_WAIT_SLICE_MS);
  bool RestartOpsMngrThread();
  bool CreateOpsMngrThread();

  // Publishing side of the current-action pair: an empty text keeps the previous value; the
  // update is dropped while a reader copies the pair.
  void SetCurrentAction(const std::string& sAction, const std::string& sObject);
  // Reading side: false (and empty text) until something was published.
  bool GetCurrentAction(std::string& sAction);
  bool GetCurrentActionObject(std::string& sObject);

  COpsMngrThread* GetOpsMngrThread() { return m_pOpsMngrThread.get(); }
  CZuvEvent& GetCommandEvent() { return m_oEventCommand; }
  bool IsInitialized() const { return m_bInitialized; }
  bool AreThreadsStarted() const { return m_bThreadsStarted; }

  CAllSets* m_pSettings = nullptr;
  std::string m_sWorkingDirectory;

  std::atomic<bool> m_bTerminate{false};
  std::atomic<bool> m_bGo{false};
  std::atomic<bool> m_bTest{false};
  std::atomic<bool> m_bWorkerEnded{false};
  std::atomic<bool> m_bOpsMngrThreadInitialized{false};
  std::atomic<bool> m_bInitFinished{false};
  std::atomic<bool> m_bAutoGo{false};
  std::atomic<bool> m_bGoLoopActive{false};
  std::atomic<bool> m_bEmailReady{false};
  std::atomic<bool> m_bPhoneReady{false};
  std::atomic<int> m_iOpsState{0};

 private:
  bool ReadCurrent(bool bObject, std::string& sText);

  std::unique_ptr<COpsMngrThread> m_pOpsMngrThread;
  CZuvEvent m_oEventCommand;
  std::atomic<bool> m_bThreadsStarted{false};
  std::atomic<bool> m_bInitialized{false};

  std::mutex m_oCurrentActionMutex;
  bool m_bCurrentActionValid = false;
  std::string m_sCurrentAction;
  std::string m_sCurrentActionObject;
};

}  // namespace wdx
