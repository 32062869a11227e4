#include "platform/telephony/sip/sip_stack.h"

#include <re.h>

#include <condition_variable>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "platform/platform_log.h"

namespace wdx::sip {

struct CSipStack::SState {
  std::mutex m_oLock;
  std::condition_variable m_oStarted;
  bool m_bStartEnded = false;
  bool m_bRunning = false;
  std::thread::id m_oThreadId;
  struct mqueue* m_pQueue = nullptr;
};

namespace {

// What crosses the message queue: the work, owned by the message until it has run.
struct SWork {
  std::function<void()> m_fnWork;
};

void OnQueued(int /*iId*/, void* pData, void* /*pArg*/) {
  std::unique_ptr<SWork> pWork(static_cast<SWork*>(pData));
  if (pWork && pWork->m_fnWork) pWork->m_fnWork();
}

}  // namespace

CSipStack& CSipStack::Get() {
  static CSipStack* s_pStack = new CSipStack();  // never destroyed: see the header
  return *s_pStack;
}

CSipStack::CSipStack() : m_pState(new SState) {
  std::thread oThread([this] { Run(); });
  oThread.detach();
  std::unique_lock<std::mutex> oGuard(m_pState->m_oLock);
  m_pState->m_oStarted.wait(oGuard, [&] { return m_pState->m_bStartEnded; });
}

void CSipStack::Run() {
  SState& oState = *m_pState;
  int iError = libre_init();
  struct mqueue* pQueue = nullptr;
  if (iError == 0) iError = mqueue_alloc(&pQueue, OnQueued, nullptr);
  {
    std::lock_guard<std::mutex> oGuard(oState.m_oLock);
    oState.m_bStartEnded = true;
    oState.m_bRunning = iError == 0;
    oState.m_pQueue = pQueue;
    oState.m_oThreadId = std::this_thread::get_id();
  }
  oState.m_oStarted.notify_all();
  if (iError != 0) {
    const std::string sText = std::string("SIP: cannot start the SIP stack: ") + std::strerror(iError);
    PlatformLogError(sText.c_str());
    return;
  }
  iError = re_main(nullptr);
  const std::string sText = "SIP: the SIP thread's loop ended (" + std::to_string(iError) + ")";
  PlatformLogError(sText.c_str());
  std::lock_guard<std::mutex> oGuard(oState.m_oLock);
  oState.m_bRunning = false;
}

bool CSipStack::IsRunning() const {
  std::lock_guard<std::mutex> oGuard(m_pState->m_oLock);
  return m_pState->m_bRunning;
}

bool CSipStack::IsSipThread() const {
  std::lock_guard<std::mutex> oGuard(m_pState->m_oLock);
  return m_pState->m_oThreadId == std::this_thread::get_id();
}

bool CSipStack::Post(std::function<void()> fnWork) {
  std::lock_guard<std::mutex> oGuard(m_pState->m_oLock);
  if (!m_pState->m_bRunning) return false;
  auto pWork = std::make_unique<SWork>();
  pWork->m_fnWork = std::move(fnWork);
  if (mqueue_push(m_pState->m_pQueue, 0, pWork.get()) != 0) return false;
  pWork.release();  // the queue's handler owns it now
  return true;
}

bool CSipStack::Call(const std::function<void()>& fnWork) {
  if (IsSipThread()) {
    fnWork();
    return true;
  }
  std::promise<void> oDone;
  std::future<void> oFuture = oDone.get_future();
  if (!Post([&] {
        fnWork();
        oDone.set_value();
      })) {
    return false;
  }
  oFuture.wait();
  return true;
}

}  // namespace wdx::sip
