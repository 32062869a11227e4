// The SIP thread: one per process, started on first use, running libre's event loop. libre is
// not thread-safe, so everything of it (SIP sessions, RTP sockets, timers) is created, used and
// freed on this thread only; other threads hand it work with Call (and wait) or Post.
//
// The thread lives until the process ends; it is never joined, so a process may exit while it
// waits in the loop.
//
// Threading: every member may be called from any thread. Call from the SIP thread itself runs the
// work at once.
#pragma once

#include <functional>

namespace wdx::sip {

class CSipStack final {
 public:
  // The process's stack; its thread is started by the first call (a failure is logged once).
  static CSipStack& Get();

  CSipStack(const CSipStack&) = delete;
  CSipStack& operator=(const CSipStack&) = delete;

  // False when libre could not be started (nothing will run).
  bool IsRunning() const;
  bool IsSipThread() const;
  // Runs fnWork on the SIP thread and waits until it has run; false when the stack is not running.
  bool Call(const std::function<void()>& fnWork);
  // Queues fnWork for the SIP thread; false (fnWork dropped) when the stack is not running.
  bool Post(std::function<void()> fnWork);

 private:
  CSipStack();
  ~CSipStack() = default;
  void Run();

  struct SState;
  SState* const m_pState;  // never freed: the thread may use it until the process ends
};

}  // namespace wdx::sip
