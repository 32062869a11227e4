// The worker side of the dead-man's switch. CThreadOwner holds the switch's settings (command
// line, time-out, wait and show-window flags), the "TerminateActs" event and the flags through
// which the client and the worker talk; CActionThread is the worker: it naps while idle, and
// once armed waits on the event for the time-out; a time-out runs the command, a fired event
// (a disarm) does not. Either way it goes back to idle until the next arming. The time-out is
// real time (the guarded requests and programs run in real time); the idle naps and the waits
// for the worker are service waits, which WDX_TIME_SCALE shortens.
//
// Threading: the client side (Initialize, RestartActionThread, ResetActionsAndGoIdle,
// KillAllThreads, the setters) runs on one thread at a time (the Actor's lock serialises it);
// the worker runs KeepAlive on its own thread. They share only the atomic flags, the time-out and
// the event; the event's named lock serialises a disarm against the worker's decision to run
// the command, so that a disarm either prevents the command or waits for it to end.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "foundation/zuv_base.h"
#include "foundation/zuv_event.h"

namespace wdx::safehand {

inline constexpr int32_t ACT_DEFAULT_TIMEOUT_MS = 60000;
inline constexpr const char* ACT_EVENT_NAME = "TerminateActs";

class CThreadOwner;

class CActionThread final {
 public:
  explicit CActionThread(CThreadOwner* pOwner);
  ~CActionThread();  // joins a thread that has ended
  CActionThread(const CActionThread&) = delete;
  CActionThread& operator=(const CActionThread&) = delete;

  // Starts the thread (it runs InitInstance); false when the system refuses a thread.
  bool Resume();
  // Waits for the thread's end (the caller has seen the thread-ended flag).
  void Join();
  // Lets a thread that still runs go on by itself (it then owns nothing it may lose).
  void Detach();

  CThreadOwner* m_pOwner = nullptr;
  std::atomic<bool> m_bRunningCommand{false};
  bool m_bNewThread = true;

 private:
  void InitInstance();
  void KeepAlive();
  void ExitInstance();
  // One armed stretch: the timed wait, then the decision under the event's lock.
  void WaitAndAct();
  void RunCommand();

  CZuvBase m_oEventLock{ACT_EVENT_NAME};  // the event's named lock, as the worker holds it
  std::thread m_oThread;
};

class CThreadOwner final : public CZuvBase {
 public:
  CThreadOwner();
  // Ends the worker (KillAllThreads). Owners that had a worker are ended through Dispose.
  ~CThreadOwner() override;
  CThreadOwner(const CThreadOwner&) = delete;
  CThreadOwner& operator=(const CThreadOwner&) = delete;

  // Ends the owner's worker and destroys the owner; a worker that does not end within 120 s
  // (stuck in its command) keeps the owner, and the library stays loaded for it.
  static void Dispose(std::unique_ptr<CThreadOwner> pOwner);

  bool Initialize();
  bool CreateActionThread();
  // Arms: makes sure a worker exists and sends it from idle into its timed wait.
  bool RestartActionThread();
  // Disarms and waits (up to 120 s) until the worker is idle.
  bool ResetActionsAndGoIdle();
  // Ends the worker and waits (up to 120 s) for it; afterwards a new worker can be created.
  bool KillAllThreads();

  void SetCommand(const std::string& sCommand) { m_oStrCommand.Assign(sCommand.c_str()); }
  std::string GetCommand() const { return m_oStrCommand.GetBuffer(); }

  std::atomic<int32_t> m_lTimeoutMs{ACT_DEFAULT_TIMEOUT_MS};
  CZuvStr m_oStrCommand;
  std::atomic<bool> m_bWait{true};
  std::atomic<bool> m_bShowWindow{false};
  std::unique_ptr<CActionThread> m_pActionThread;
  std::atomic<bool> m_bTerminateThreads{false};
  CZuvEvent m_oEventTerminateActions;
  std::atomic<bool> m_bThreadEnded{true};
  std::atomic<bool> m_bIdleRequested{true};
  std::atomic<bool> m_bIdleReached{false};
  bool m_bInitialized = false;

 private:
  // Fires the event under its lock (the lock is not required: a failure to take it still fires).
  void FireEvent();
  // Waits up to 120 s of service time for the flag.
  static bool WaitForFlag(const std::atomic<bool>& bFlag);
};

// The worker's and the library's traces (the debugger output).
void ActTrace(const char* szText);

}  // namespace wdx::safehand
