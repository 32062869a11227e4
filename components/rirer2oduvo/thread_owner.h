// The phone component's thread owner: it creates, starts and ends the two worker threads (the
// calling thread and the telephony event thread) and holds what they share with the object:
// the contact ledger, the message type phrase, the three events ("EventPhone" wakes the event
// thread, "EventBeginCalling" wakes the calling thread, "EventParamLocker" is only a named lock
// over the message, the acknowledgement flag and the message type), the event sink and the
// terminate and thread-ended flags.
//
// The waits for the threads (their start-up, their end) are real time: the speech engines'
// start-up and the audio of a call take real time whatever WDX_TIME_SCALE says. A wait ends as
// soon as its thread has finished what it waits for, at the latest after 120 s.
//
// Threading: the object's thread calls StartThreads and KillAllThreads (and the destructor);
// the workers read the owner's atomic flags and take the named locks around the shared values.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "components/rirer2oduvo/contact_ledger.h"
#include "foundation/zuv_base.h"
#include "foundation/zuv_event.h"

namespace wdx::rirer {

class CCallingThread;
class CZuvTapiEventThread;
class CTapiEventSink;
class IPhoneEngines;

inline constexpr const char* EVENT_NEW_PHONE_NAME = "EventPhone";
inline constexpr const char* EVENT_BEGIN_CALLING_NAME = "EventBeginCalling";
inline constexpr const char* EVENT_PARAM_LOCKER_NAME = "EventParamLocker";
inline constexpr int BEGIN_CALLING_TIMEOUT_MS = 40000;
inline constexpr int OWNER_LOCK_WAIT_MS = 1000;

class CThreadOwner final : public CZuvBase {
 public:
  explicit CThreadOwner(IPhoneEngines& oEngines);
  // Ends both threads and frees the sink, the ledger and the events.
  ~CThreadOwner() override;
  CThreadOwner(const CThreadOwner&) = delete;
  CThreadOwner& operator=(const CThreadOwner&) = delete;

  // Ends the owner's threads and destroys it; threads that do not end within 120 s keep the
  // owner (and the library stays loaded for them).
  static void Dispose(std::unique_ptr<CThreadOwner> pOwner);

  bool Initialize();
  bool StartThreads();
  bool RestartCallingThread();
  bool RestartTapiEventThread();
  bool CreateCallingThread();
  bool CreateTapiEventThread();
  bool KillAllThreads();

  IPhoneEngines& GetEngines() const { return m_oEngines; }
  CCallingThread* GetCallingThread() const { return m_pCallingThread.get(); }
  CZuvTapiEventThread* GetTapiEventThread() const { return m_pTapiEventThread.get(); }
  // Both the speech and the telephony of the calling thread came up.
  bool IsSapiAndTapiReady() const;

  IPhoneEngines& m_oEngines;
  CZuvStr m_oStrWorkingDirectory;
  CZuvStr m_oStrMessageType;  // under m_oParamLocker
  std::unique_ptr<CCallingThread> m_pCallingThread;
  std::unique_ptr<CZuvTapiEventThread> m_pTapiEventThread;
  std::atomic<bool> m_bTerminateThreads{false};
  CZuvEvent m_oEventNewPhone;
  CZuvEvent m_oEventBeginCalling;
  CZuvEvent m_oParamLocker;
  CContactLedger m_oContactLedger;
  CTapiEventSink* m_pTAPIEventNotification = nullptr;
  std::atomic<bool> m_bTapiEventThreadEnded{true};
  std::atomic<bool> m_bCallingThreadEnded{true};
  bool m_bInitialized = false;

 private:
  // Locks, fires and unlocks one of the owner's events (the fire happens without the lock too).
  static void FireLocked(CZuvEvent& oEvent);
  void ReleaseSink();
};

}  // namespace wdx::rirer
