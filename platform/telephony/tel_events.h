// The telephony layer's notification thread: calls post their events here, and the thread
// delivers them in the order they were posted to every advised sink (in the order the sinks were
// advised), one event at a time, when the event's bit is set in the event filter. An event
// keeps its call alive until it has been delivered.
//
// Threading: every member may be called from any thread, sinks included. Unadvise waits for an
// event that is being delivered (unless a sink calls it, on the notification thread), so a sink
// is never called after Unadvise returns. WaitDelivered returns at once on the notification
// thread, so a sink cannot deadlock on its own event. A sink may stop the hub but must not
// destroy it (its thread is still running the sink).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/telephony/telephony.h"

namespace wdx {

class CTelEventHub final {
 public:
  CTelEventHub() = default;
  ~CTelEventHub();
  CTelEventHub(const CTelEventHub&) = delete;
  CTelEventHub& operator=(const CTelEventHub&) = delete;

  // Starts the notification thread (again after Stop); harmless while it runs.
  void Start();
  // Delivers what is queued, then ends the thread. Events posted from now on are dropped.
  void Stop();
  bool IsRunning() const;

  // A cookie (never 0), or 0 for a null sink.
  uint32_t Advise(ITelEventSink* pSink);
  // False for an unknown cookie.
  bool Unadvise(uint32_t uCookie);
  void SetFilter(int iEventMask);

  // Queues an event about pCall; its sequence number, or 0 when it was dropped (not running).
  uint64_t Post(std::shared_ptr<const ITelCall> pCall, int iEvent, int iCallState);
  // Queues TE_DIGITEVENT for a key the far end of pCall pressed.
  uint64_t PostDigit(std::shared_ptr<const ITelCall> pCall, char cDigit);
  // Waits until event uSequence has been delivered or the thread has stopped.
  void WaitDelivered(uint64_t uSequence);
  bool IsNotificationThread() const;

 private:
  struct SQueued {
    uint64_t m_uSequence = 0;
    STelEvent m_oEvent;
    std::shared_ptr<const ITelCall> m_pCall;
  };

  uint64_t Queue(std::shared_ptr<const ITelCall> pCall, const STelEvent& oEvent);
  void Run();
  void Deliver(const SQueued& oQueued);
  void JoinThread();

  mutable std::mutex m_oLock;
  std::condition_variable m_oWake;       // an event was queued or the thread must stop
  std::condition_variable m_oDelivered;  // an event was delivered or the thread stopped
  std::deque<SQueued> m_oQueue;
  std::map<uint32_t, ITelEventSink*> m_oSinks;
  uint32_t m_uNextCookie = 1;
  int m_iFilter = 0;
  uint64_t m_uPosted = 0;
  uint64_t m_uDelivered = 0;
  bool m_bRunning = false;
  bool m_bStopping = false;
  std::thread m_oThread;
  std::thread::id m_oThreadId;
  std::mutex m_oDeliveryLock;  // held while sinks are called
};

}  // namespace wdx
