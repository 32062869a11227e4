// CSigPipeBlock: keeps SIGPIPE from the calling thread while the object lives. OpenSSL writes to
// its socket with write(2), which raises SIGPIPE when the peer has gone, and that signal would
// end the process. A SIGPIPE raised meanwhile is taken off the thread before the old mask
// comes back.
//
// Threading: lives on the stack of one thread.
#pragma once

#include <pthread.h>
#include <signal.h>

#include <ctime>

namespace wdx {

class CSigPipeBlock final {
 public:
  CSigPipeBlock() {
    sigemptyset(&m_oPipe);
    sigaddset(&m_oPipe, SIGPIPE);
    sigset_t oPending;
    sigpending(&oPending);
    m_bWasPending = sigismember(&oPending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_oPipe, &m_oOld);
  }
  ~CSigPipeBlock() {
    sigset_t oPending;
    sigpending(&oPending);
    if (!m_bWasPending && sigismember(&oPending, SIGPIPE) == 1) {
      const timespec oNoWait{0, 0};
      sigtimedwait(&m_oPipe, nullptr, &oNoWait);
    }
    pthread_sigmask(SIG_SETMASK, &m_oOld, nullptr);
  }
  CSigPipeBlock(const CSigPipeBlock&) = delete;
  CSigPipeBlock& operator=(const CSigPipeBlock&) = delete;

 private:
  sigset_t m_oPipe;
  sigset_t m_oOld;
  bool m_bWasPending = false;
};

}  // namespace wdx
