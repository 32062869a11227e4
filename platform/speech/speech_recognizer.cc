// The in-process recogniser, its recognition context and its command grammar over one
// CSpeechDecoder. The context does the listening: WaitForNotifyEvent reads the input in
// pieces of 20 ms, converts them to the decoder's rate and feeds them to the decoder until an
// event of interest is queued or the asked-for span of audio has been heard.
#include <algorithm>
#include <cstdlib>
#include <deque>

#include "platform/audio/resampler.h"
#include "platform/platform_log.h"
#include "platform/speech/speech.h"
#include "platform/speech/speech_decoder.h"

namespace wdx {
namespace {

constexpr uint32_t kPieceMs = 20;
constexpr uint64_t kAllEvents = SpeechEventBit(SPEI_PHRASE_START) |
                                SpeechEventBit(SPEI_RECOGNITION) |
                                SpeechEventBit(SPEI_FALSE_RECOGNITION);

// What the recogniser, its contexts and grammars share.
struct SRecoCore {
  std::unique_ptr<CSpeechDecoder> m_pDecoder;
  std::shared_ptr<CSpAudioIn> m_pInput;
  std::unique_ptr<CStreamResampler> m_pResampler;
  bool m_bListening = false;

  void StopListening() {
    if (m_bListening && m_pInput) m_pInput->SetState(SPAS_STOP);
    m_bListening = false;
    m_pDecoder->Restart();
  }
};

bool IsMonoPcm16(const SWaveFormat& oFormat) {
  return oFormat.m_uFormatTag == WAVE_FORMAT_PCM && oFormat.m_uChannels == 1 &&
         oFormat.m_uBitsPerSample == 16 && oFormat.m_uSamplesPerSec > 0;
}

class CRecoGrammar final : public ISpRecoGrammar {
 public:
  explicit CRecoGrammar(std::shared_ptr<SRecoCore> pCore) : m_pCore(std::move(pCore)) {}

  HRESULT LoadCmdFromFile(const std::string& sPath, int /*iOptions*/) override {
    m_pCore->StopListening();
    return m_pCore->m_pDecoder->LoadGrammar(sPath);
  }

  HRESULT SetRuleState(bool bActive) override {
    SRecoCore& oCore = *m_pCore;
    oCore.StopListening();
    if (!bActive) return S_OK;
    if (!oCore.m_pDecoder->HasGrammar()) {
      PlatformLogError("Speech recognition: no grammar is loaded to listen for.");
      return E_UNEXPECTED;
    }
    if (!oCore.m_pInput) {
      PlatformLogError("Speech recognition: the recogniser has no input to listen to.");
      return SPERR_UNINITIALIZED;
    }
    oCore.m_pResampler = std::make_unique<CStreamResampler>(
        oCore.m_pInput->GetFormat().m_uSamplesPerSec, kDecoderRate);
    const HRESULT hr = oCore.m_pInput->SetState(SPAS_RUN);
    if (!Succeeded(hr)) return hr;
    oCore.m_bListening = true;
    return S_OK;
  }

 private:
  std::shared_ptr<SRecoCore> m_pCore;
};

class CRecoContext final : public ISpRecoContext {
 public:
  explicit CRecoContext(std::shared_ptr<SRecoCore> pCore) : m_pCore(std::move(pCore)) {}

  HRESULT SetInterest(uint64_t uNotifyEvents, uint64_t uQueuedEvents) override {
    m_uNotify = uNotifyEvents;
    m_uQueued = uQueuedEvents | uNotifyEvents;
    return S_OK;
  }

  // Recognised audio is not kept with results: nothing here reads it back.
  HRESULT SetAudioOptions(bool /*bRetainAudio*/) override { return S_OK; }

  HRESULT CreateGrammar(uint64_t /*uGrammarId*/,
                        std::shared_ptr<ISpRecoGrammar>& pGrammar) override {
    pGrammar = std::make_shared<CRecoGrammar>(m_pCore);
    return S_OK;
  }

  HRESULT GetVoice(std::shared_ptr<ISpVoice>& pVoice) override {
    if (!m_pVoice) {
      const HRESULT hr = CreateSpVoice(m_pVoice);
      if (!Succeeded(hr)) return hr;
    }
    pVoice = m_pVoice;
    return S_OK;
  }

  HRESULT WaitForNotifyEvent(uint32_t uMilliseconds) override;

  HRESULT GetEvents(SSpEvent& oEvent, bool& bFetched) override {
    bFetched = !m_aEvents.empty();
    if (bFetched) {
      oEvent = std::move(m_aEvents.front());
      m_aEvents.pop_front();
    }
    return S_OK;
  }

  void ClearEvents() override { m_aEvents.clear(); }

 private:
  bool HasNotifyEvent() const {
    for (const SSpEvent& oEvent : m_aEvents) {
      if ((m_uNotify & SpeechEventBit(oEvent.m_iEventId)) != 0) return true;
    }
    return false;
  }
  // Reads and decodes one piece of the input; false when the input or the decoder fails.
  bool ListenPiece(std::vector<int16_t>& aPiece, std::vector<int16_t>& aConverted);

  std::shared_ptr<SRecoCore> m_pCore;
  std::shared_ptr<ISpVoice> m_pVoice;
  std::deque<SSpEvent> m_aEvents;
  uint64_t m_uNotify = kAllEvents;
  uint64_t m_uQueued = kAllEvents;
};

HRESULT CRecoContext::WaitForNotifyEvent(uint32_t uMilliseconds) {
  if (HasNotifyEvent()) return S_OK;
  SRecoCore& oCore = *m_pCore;
  if (!oCore.m_bListening || !oCore.m_pInput) return SPERR_AUDIO_STOPPED;
  const uint32_t uRate = oCore.m_pInput->GetFormat().m_uSamplesPerSec;
  std::vector<int16_t> aPiece(std::max<size_t>(uRate * kPieceMs / 1000, 1));
  std::vector<int16_t> aConverted;
  for (uint32_t uHeardMs = 0; uHeardMs < uMilliseconds; uHeardMs += kPieceMs) {
    if (!ListenPiece(aPiece, aConverted)) return SPERR_AUDIO_STOPPED;
    if (HasNotifyEvent()) return S_OK;
  }
  return S_FALSE;
}

bool CRecoContext::ListenPiece(std::vector<int16_t>& aPiece, std::vector<int16_t>& aConverted) {
  SRecoCore& oCore = *m_pCore;
  const size_t uRead = oCore.m_pInput->Read(aPiece.data(), aPiece.size());
  aConverted.clear();
  if (!oCore.m_pResampler->Process(aPiece.data(), uRead, aConverted)) {
    PlatformLogError("Speech recognition: the line's audio could not be converted.");
    return false;
  }
  std::vector<SSpEvent> aHappened;
  if (!oCore.m_pDecoder->Process(aConverted.data(), aConverted.size(), aHappened)) {
    PlatformLogError("Speech recognition: the recogniser failed on the line's audio.");
    return false;
  }
  for (SSpEvent& oEvent : aHappened) {
    if ((m_uQueued & SpeechEventBit(oEvent.m_iEventId)) != 0)
      m_aEvents.push_back(std::move(oEvent));
  }
  if (uRead < aPiece.size()) {
    PlatformLogMessage("Speech recognition: the line's audio stopped.");
    return false;
  }
  return true;
}

class CRecognizer final : public ISpRecognizer {
 public:
  explicit CRecognizer(std::unique_ptr<CSpeechDecoder> pDecoder)
      : m_pCore(std::make_shared<SRecoCore>()) {
    m_pCore->m_pDecoder = std::move(pDecoder);
  }

  HRESULT CreateRecoContext(std::shared_ptr<ISpRecoContext>& pContext) override {
    pContext = std::make_shared<CRecoContext>(m_pCore);
    return S_OK;
  }

  HRESULT SetInput(std::shared_ptr<CSpAudioIn> pInput, bool bAllowFormatChanges) override {
    if (pInput) {
      const SWaveFormat& oFormat = pInput->GetFormat();
      if (!IsMonoPcm16(oFormat) ||
          (!bAllowFormatChanges && oFormat.m_uSamplesPerSec != kDecoderRate)) {
        PlatformLogError("Speech recognition: the input's format cannot be listened to.");
        return SPERR_UNSUPPORTED_FORMAT;
      }
    }
    m_pCore->StopListening();
    m_pCore->m_pInput = std::move(pInput);
    return S_OK;
  }

 private:
  std::shared_ptr<SRecoCore> m_pCore;
};

}  // namespace

HRESULT CreateSpInprocRecognizer(std::shared_ptr<ISpRecognizer>& pRecognizer) {
  pRecognizer.reset();
  std::unique_ptr<CSpeechDecoder> pDecoder;
  const HRESULT hr = CSpeechDecoder::Create(pDecoder);
  if (!Succeeded(hr)) return hr;
  pRecognizer = std::make_shared<CRecognizer>(std::move(pDecoder));
  return S_OK;
}

std::string GetSpeechModelFolder() {
  const char* szFolder = std::getenv("WDX_SPEECH_MODEL");
  if (szFolder != nullptr && *szFolder != '\0') return szFolder;
  return "/usr/share/pocketsphinx/model/en-us";
}

}  // namespace wdx
