#include "platform/telephony/tel_events.h"

#include <utility>
#include <vector>

namespace wdx {

CTelEventHub::~CTelEventHub() {
  Stop();
  // Only a hub stopped from its own thread still has one here; it ends after this delivery.
  if (m_oThread.joinable()) m_oThread.detach();
}

void CTelEventHub::Start() {
  std::unique_lock<std::mutex> oGuard(m_oLock);
  if (m_bRunning) return;
  oGuard.unlock();
  JoinThread();  // a thread that has stopped
  oGuard.lock();
  if (m_bRunning) return;
  m_bRunning = true;
  m_bStopping = false;
  m_oThread = std::thread(&CTelEventHub::Run, this);
  m_oThreadId = m_oThread.get_id();
}

void CTelEventHub::Stop() {
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (!m_bRunning) return;
    m_bStopping = true;
  }
  m_oWake.notify_all();
  if (!IsNotificationThread()) JoinThread();
}

bool CTelEventHub::IsRunning() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return m_bRunning && !m_bStopping;
}

void CTelEventHub::JoinThread() {
  if (m_oThread.joinable() && m_oThread.get_id() != std::this_thread::get_id()) m_oThread.join();
}

uint32_t CTelEventHub::Advise(ITelEventSink* pSink) {
  if (pSink == nullptr) return 0;
  std::lock_guard<std::mutex> oGuard(m_oLock);
  const uint32_t uCookie = m_uNextCookie++;
  m_oSinks[uCookie] = pSink;
  return uCookie;
}

bool CTelEventHub::Unadvise(uint32_t uCookie) {
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (m_oSinks.erase(uCookie) == 0) return false;
  }
  // A delivery that took the sink before it was removed ends before this returns.
  if (!IsNotificationThread()) {
    m_oDeliveryLock.lock();
    m_oDeliveryLock.unlock();
  }
  return true;
}

void CTelEventHub::SetFilter(int iEventMask) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_iFilter = iEventMask;
}

uint64_t CTelEventHub::Post(std::shared_ptr<const ITelCall> pCall, int iEvent, int iCallState) {
  STelEvent oEvent;
  oEvent.m_iEvent = iEvent;
  oEvent.m_iCallState = iCallState;
  return Queue(std::move(pCall), oEvent);
}

uint64_t CTelEventHub::PostDigit(std::shared_ptr<const ITelCall> pCall, char cDigit) {
  STelEvent oEvent;
  oEvent.m_iEvent = TE_DIGITEVENT;
  oEvent.m_iCallState = pCall ? pCall->GetCallState() : CS_IDLE;
  oEvent.m_cDigit = cDigit;
  return Queue(std::move(pCall), oEvent);
}

uint64_t CTelEventHub::Queue(std::shared_ptr<const ITelCall> pCall, const STelEvent& oEvent) {
  uint64_t uSequence = 0;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (!m_bRunning || m_bStopping) return 0;
    uSequence = ++m_uPosted;
    SQueued oQueued;
    oQueued.m_uSequence = uSequence;
    oQueued.m_oEvent = oEvent;
    oQueued.m_oEvent.m_pCall = pCall.get();
    oQueued.m_pCall = std::move(pCall);
    m_oQueue.push_back(std::move(oQueued));
  }
  m_oWake.notify_one();
  return uSequence;
}

void CTelEventHub::WaitDelivered(uint64_t uSequence) {
  if (uSequence == 0 || IsNotificationThread()) return;
  std::unique_lock<std::mutex> oGuard(m_oLock);
  m_oDelivered.wait(oGuard, [&] { return m_uDelivered >= uSequence || !m_bRunning; });
}

bool CTelEventHub::IsNotificationThread() const {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  return m_bRunning && m_oThreadId == std::this_thread::get_id();
}

void CTelEventHub::Run() {
  std::unique_lock<std::mutex> oGuard(m_oLock);
  for (;;) {
    m_oWake.wait(oGuard, [&] { return !m_oQueue.empty() || m_bStopping; });
    if (m_oQueue.empty()) break;
    SQueued oQueued = std::move(m_oQueue.front());
    m_oQueue.pop_front();
    oGuard.unlock();
    Deliver(oQueued);
    oQueued.m_pCall.reset();  // the call may go here, outside the lock
    oGuard.lock();
    m_uDelivered = oQueued.m_uSequence;
    m_oDelivered.notify_all();
  }
  m_bRunning = false;
  m_oThreadId = std::thread::id();
  m_oDelivered.notify_all();
}

void CTelEventHub::Deliver(const SQueued& oQueued) {
  std::lock_guard<std::mutex> oDelivering(m_oDeliveryLock);
  std::vector<ITelEventSink*> aSinks;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if ((m_iFilter & oQueued.m_oEvent.m_iEvent) == 0) return;
    for (const auto& [uCookie, pSink] : m_oSinks) aSinks.push_back(pSink);
  }
  for (ITelEventSink* pSink : aSinks) pSink->Event(oQueued.m_oEvent);
}

}  // namespace wdx
