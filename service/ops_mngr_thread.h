// COpsMngrThread: the service's one worker thread. It is created suspended by its owner
// (CThreadOwner), resumed, initialises itself, reports that through the owner's
// m_bOpsMngrThreadInitialized, then idles on the owner's command event until the terminate
// flag is set, acting on the pending command code that the command interface leaves.
//
// Threading: Resume() and Join() are called by the owner's thread; everything else runs on the
// worker thread. The pending command and the phone readiness bytes are atomics written by the
// command interface.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>

namespace wdx {

class CAllSets;
class CThreadOwner;

class COpsMngrThread final {
 public:
  COpsMngrThread();
  ~COpsMngrThread();
  COpsMngrThread(const COpsMngrThread&) = delete;
  COpsMngrThread& operator=(const COpsMngrThread&) = delete;

  // Starts the thread (it runs InitInstance); no-op while it runs.
  bool Resume();
  // Waits for the thread's end if it has ended or is about to; detaches a thread that still
  // runs after the owner gave up on it, so that shutdown can go on.
  void Join(bool bDetachIfRunning);

  // Refreshes the four phone readiness bytes from the phone component; false when there is
  // none (the bytes stay 0).
  bool GetPhoneReadyState();

  CThreadOwner* m_pOwner = nullptr;
  std::atomic<int> m_iPendingCommand{0};
  std::array<std::atomic<uint8_t>, 4> m_aPhoneReady{};
  std::atomic<bool> m_bCreatedNotResumed{false};

 private:
  bool InitInstance();
  bool ExitInstance();
  bool Initialize();
  bool LowLevelInit();
  void KeepAlive();

  CAllSets* m_pSettings = nullptr;
  std::thread m_oThread;
};

}  // namespace wdx
