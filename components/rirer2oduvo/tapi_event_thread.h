// The telephony event side of the phone component. CZuvTapiEventThread registers the owner's
// CTapiEventSink with the calling thread's telephony object (call notification and call-state
// events), then idles on "EventPhone"; the layer delivers each event on its own notification
// thread to the sink, which hands it to OnTapiEvent: the new state of the call is stored in the
// calling thread's call state, which the call script tests before each step.
//
// Threading: Initialize and KeepAlive run on the event thread; OnTapiEvent runs on the
// telephony layer's notification thread, one event at a time, and writes only the call state
// and the "EventPhone" event. The sink's thread pointer and reference count are atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "foundation/zuv_base.h"
#include "platform/telephony/telephony.h"

namespace wdx::rirer {

class CThreadOwner;
class CCallingThread;
class CZuvTapiEventThread;

inline constexpr int TAPI_EVENT_WAIT_MS = 10000;

// The event sink: a reference-counted ITelEventSink that passes events to the attached thread.
class CTapiEventSink final : public ITelEventSink {
 public:
  CTapiEventSink() = default;
  CTapiEventSink(const CTapiEventSink&) = delete;
  CTapiEventSink& operator=(const CTapiEventSink&) = delete;

  HRESULT Event(const STelEvent& oEvent) override;
  uint32_t AddRef() { return m_lRefCount.fetch_add(1) + 1; }
  // Deletes the sink when the count reaches zero.
  uint32_t Release();
  uint32_t GetRefCount() const { return m_lRefCount; }
  // Null detaches: events are then accepted and dropped.
  void Attach(CZuvTapiEventThread* pThread) { m_pEventThread = pThread; }

 private:
  ~CTapiEventSink() override = default;
  friend class CThreadOwner;

  std::atomic<uint32_t> m_lRefCount{0};
  std::atomic<CZuvTapiEventThread*> m_pEventThread{nullptr};
};

class CZuvTapiEventThread final {
 public:
  explicit CZuvTapiEventThread(CThreadOwner* pOwner);
  ~CZuvTapiEventThread();  // joins an ended thread
  CZuvTapiEventThread(const CZuvTapiEventThread&) = delete;
  CZuvTapiEventThread& operator=(const CZuvTapiEventThread&) = delete;

  bool Resume();
  void Join();
  void Detach();

  bool Initialize();
  HRESULT RegisterTapiEventInterface();
  void OnTapiEvent(const STelEvent& oEvent);
  void KeepAlive();

  CThreadOwner* m_pOwner;
  std::atomic<bool> m_bGo{false};
  ITelephony* m_pTapi = nullptr;
  CTapiEventSink* m_pTAPIEventNotification = nullptr;
  uint32_t m_uAdviseCookie = 0;
  CCallingThread* m_pCallingThread = nullptr;
  int m_iWaitTimeoutMs = TAPI_EVENT_WAIT_MS;
  std::atomic<bool> m_bTapiEventThreadIsReady{false};
  bool m_bNewThread = true;
  std::atomic<bool> m_bInitialized{false};
  // Set when Initialize has ended, whatever its outcome.
  std::atomic<bool> m_bInitEnded{false};

 private:
  void InitInstance();
  // Takes back the registration made by Initialize.
  void Unregister();

  bool m_bAdvised = false;
  CZuvBase m_oEventLock;   // "EventPhone" as this thread holds it
  CZuvBase m_oNotifyLock;  // "EventPhone" as the notification thread holds it
  std::thread m_oThread;
};

}  // namespace wdx::rirer
