// The far end of a simulated call: a scripted callee that hears everything played into the line
// at once (and records it to a WAV file), and answers when the caller starts listening, if it
// has heard something (non-silent audio) since its last turn: 300 ms of silence, then its words
// synthesised at the line's rate; after them, and whenever it is quiet, the line gives silence.
// What the callee says while nobody listens is lost. A callee that hangs up does so once it has
// heard its limit of audio (silence included); the line then goes down.
//
// CSimWaveOut and CSimWaveIn are the call's wave devices over the callee; they take only the
// line's format, 8 kHz 16-bit mono PCM.
//
// Threading: one thread writes and one reads (they may be the same); Close may come from any
// thread. The hang-up handler runs on the writing thread, outside the callee's lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/audio/wav_file.h"
#include "platform/audio/wave_devices.h"

namespace wdx {

// A sample whose magnitude exceeds this is heard as sound, not silence.
inline constexpr int kSimSilenceLevel = 256;
inline constexpr uint32_t kSimLineRate = 8000;

struct SSimCalleeScript {
  std::string m_sWords;         // what it says on its turn; empty: it says nothing
  char m_cKey = 0;              // the key it presses on its turn; 0: none
  uint64_t m_uHangUpAfter = 0;  // samples heard before it hangs up; 0: it never does
};

class CSimCallee final {
 public:
  CSimCallee(std::string sNumber, SSimCalleeScript oScript);
  ~CSimCallee();
  CSimCallee(const CSimCallee&) = delete;
  CSimCallee& operator=(const CSimCallee&) = delete;

  // Starts the recording at sPath (a new file); false, with an error logged, when it cannot be
  // created (the call goes on unrecorded).
  bool StartRecording(const std::string& sPath);
  // Called once when the callee hangs up.
  void SetHangUpHandler(std::function<void()> fnHandler);
  // Called on each turn of a callee that presses a key (on the thread that starts listening).
  void SetKeyHandler(std::function<void(char)> fnHandler);

  // The line's output: hears and records uCount samples. False once the line is gone (or when
  // the callee hung up before hearing all of them).
  bool Hear(const int16_t* pSamples, size_t uCount);
  void SetListening(bool bListening);
  // The line's input: uCount samples of the callee's speech or silence; 0 once the line is gone.
  size_t Say(int16_t* pSamples, size_t uCount);

  // The line went down: the recording is completed and reported; Hear and Say fail from now on.
  void Close();
  bool IsGone() const;

 private:
  const std::vector<int16_t>& GetAnswer();

  const std::string m_sNumber;
  const SSimCalleeScript m_oScript;
  const uint64_t m_uCalleeNo;  // callees are numbered in the order calls are answered
  mutable std::mutex m_oLock;
  CWavWriter m_oRecording;
  std::function<void()> m_fnHangUp;
  std::function<void(char)> m_fnKey;
  uint64_t m_uHeard = 0;           // samples heard in all
  bool m_bHeardSinceTurn = false;  // sound heard since it last spoke (or could have)
  bool m_bHeardSound = false;
  bool m_bListening = false;
  bool m_bGone = false;
  std::vector<int16_t> m_aSpeech;  // what it is saying now
  size_t m_uSpoken = 0;            // of m_aSpeech, already read
  std::once_flag m_oAnswerOnce;    // the answer is synthesised once, on the first turn
  std::vector<int16_t> m_aAnswer;
};

class CSimWaveOut final : public IWaveOutDevice {
 public:
  explicit CSimWaveOut(std::shared_ptr<CSimCallee> pCallee) : m_pCallee(std::move(pCallee)) {}
  bool SupportsFormat(const SWaveFormat& oFormat) const override;
  bool Write(const int16_t* pSamples, size_t uCount) override;
  bool Drain(int iTimeoutMs) override;
  void Purge() override {}  // nothing waits to be played: the far end hears at once

 private:
  std::shared_ptr<CSimCallee> m_pCallee;
};

class CSimWaveIn final : public IWaveInDevice {
 public:
  explicit CSimWaveIn(std::shared_ptr<CSimCallee> pCallee) : m_pCallee(std::move(pCallee)) {}
  bool SupportsFormat(const SWaveFormat& oFormat) const override;
  void SetListening(bool bListening) override;
  size_t Read(int16_t* pSamples, size_t uCount) override;

 private:
  std::shared_ptr<CSimCallee> m_pCallee;
};

}  // namespace wdx
