// The voice: text to speech through the shared espeak-ng engine, played into the voice's
// output at the output's rate. Synchronous speech runs on the caller's thread once what was
// queued before it has been spoken; asynchronous speech runs on the voice's own thread, started
// on first use. A purge drops the queue and whatever is being spoken (checked between pieces
// of 100 ms) and purges the device.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/platform_log.h"
#include "platform/speech/speech.h"

namespace wdx {
namespace {

// A voice without an output synthesises at the engine's own rate (nothing to convert).
constexpr uint32_t kNoOutputRate = 22050;
constexpr uint32_t kPieceMs = 100;

class CVoice final : public ISpVoice {
 public:
  CVoice() = default;
  CVoice(const CVoice&) = delete;
  CVoice& operator=(const CVoice&) = delete;
  ~CVoice() override;

  HRESULT SetOutput(std::shared_ptr<CSpAudioOut> pOutput) override;
  HRESULT Speak(const std::string& sText, uint32_t uFlags) override;
  HRESULT WaitUntilDone(uint32_t uMilliseconds) override;

 private:
  void Purge();
  void RunQueue();
  // Synthesises and plays one text; uGeneration is the purge count when it was asked for.
  HRESULT SpeakNow(const std::string& sText, uint64_t uGeneration);

  std::mutex m_oLock;
  std::condition_variable m_oChanged;
  std::shared_ptr<CSpAudioOut> m_pOutput;
  std::deque<std::string> m_aQueue;
  uint64_t m_uGeneration = 0;
  bool m_bBusy = false;  // the voice's thread is speaking a text taken from the queue
  bool m_bEnd = false;
  std::thread m_oThread;
};

CVoice::~CVoice() {
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    m_bEnd = true;
    m_aQueue.clear();
    ++m_uGeneration;
  }
  m_oChanged.notify_all();
  if (m_oThread.joinable()) m_oThread.join();
}

HRESULT CVoice::SetOutput(std::shared_ptr<CSpAudioOut> pOutput) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  m_pOutput = std::move(pOutput);
  return S_OK;
}

HRESULT CVoice::Speak(const std::string& sText, uint32_t uFlags) {
  if ((uFlags & ~(SPF_ASYNC | SPF_PURGEBEFORESPEAK)) != 0) return E_INVALIDARG;
  if ((uFlags & SPF_PURGEBEFORESPEAK) != 0) Purge();
  if (sText.empty()) return S_OK;
  std::unique_lock<std::mutex> oLock(m_oLock);
  if ((uFlags & SPF_ASYNC) != 0) {
    m_aQueue.push_back(sText);
    if (!m_oThread.joinable()) m_oThread = std::thread([this] { RunQueue(); });
    m_oChanged.notify_all();
    return S_OK;
  }
  m_oChanged.wait(oLock, [this] { return m_aQueue.empty() && !m_bBusy; });
  const uint64_t uGeneration = m_uGeneration;
  oLock.unlock();
  return SpeakNow(sText, uGeneration);
}

HRESULT CVoice::WaitUntilDone(uint32_t uMilliseconds) {
  const auto tDeadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(uMilliseconds);
  std::shared_ptr<CSpAudioOut> pOutput;
  {
    std::unique_lock<std::mutex> oLock(m_oLock);
    if (!m_oChanged.wait_until(oLock, tDeadline, [this] { return m_aQueue.empty() && !m_bBusy; }))
      return S_FALSE;
    pOutput = m_pOutput;
  }
  if (!pOutput) return S_OK;
  const auto iLeftMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                           tDeadline - std::chrono::steady_clock::now())
                           .count();
  return pOutput->Drain(static_cast<int>(std::max<int64_t>(iLeftMs, 0))) ? S_OK : S_FALSE;
}

void CVoice::Purge() {
  std::shared_ptr<CSpAudioOut> pOutput;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    m_aQueue.clear();
    ++m_uGeneration;
    pOutput = m_pOutput;
  }
  m_oChanged.notify_all();
  if (pOutput) pOutput->Purge();
}

void CVoice::RunQueue() {
  std::unique_lock<std::mutex> oLock(m_oLock);
  while (true) {
    m_oChanged.wait(oLock, [this] { return m_bEnd || !m_aQueue.empty(); });
    if (m_bEnd) return;
    const std::string sText = std::move(m_aQueue.front());
    m_aQueue.pop_front();
    m_bBusy = true;
    const uint64_t uGeneration = m_uGeneration;
    oLock.unlock();
    SpeakNow(sText, uGeneration);
    oLock.lock();
    m_bBusy = false;
    m_oChanged.notify_all();
  }
}

HRESULT CVoice::SpeakNow(const std::string& sText, uint64_t uGeneration) {
  std::shared_ptr<CSpAudioOut> pOutput;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    pOutput = m_pOutput;
  }
  const uint32_t uRate = pOutput ? pOutput->GetFormat().m_uSamplesPerSec : kNoOutputRate;
  std::vector<int16_t> aSamples;
  if (!SynthesizeSpeech(sText, uRate, aSamples)) {
    PlatformLogError("Speech synthesis: a text could not be spoken.");
    return E_FAIL;
  }
  if (!pOutput) return S_OK;
  const size_t uPiece = std::max<size_t>(uRate * kPieceMs / 1000, 1);
  for (size_t uAt = 0; uAt < aSamples.size(); uAt += uPiece) {
    {
      std::lock_guard<std::mutex> oGuard(m_oLock);
      if (m_uGeneration != uGeneration) return S_OK;  // purged: the rest is not spoken
    }
    const size_t uEnd = std::min(aSamples.size(), uAt + uPiece);
    const std::vector<int16_t> aPiece(aSamples.begin() + static_cast<std::ptrdiff_t>(uAt),
                                      aSamples.begin() + static_cast<std::ptrdiff_t>(uEnd));
    if (!pOutput->Write(aPiece)) {
      PlatformLogError("Speech output: the line took no more audio; the rest is not spoken.");
      return SPERR_AUDIO_STOPPED;
    }
  }
  return S_OK;
}

}  // namespace

HRESULT CreateSpVoice(std::shared_ptr<ISpVoice>& pVoice) {
  pVoice.reset();
  std::vector<int16_t> aNothing;
  // Proves that the engine starts (it logs why when it does not).
  if (!SynthesizeSpeech("", kNoOutputRate, aNothing)) return E_FAIL;
  pVoice = std::make_shared<CVoice>();
  return S_OK;
}

}  // namespace wdx
