#include "platform/speech/speech_transcribe.h"

#include <memory>

#include "platform/audio/buffer_wave_devices.h"
#include "platform/speech/speech.h"

namespace wdx {
namespace {

// Silence heard after the recording before its last utterance counts as finished.
constexpr uint32_t kTailMs = 1500;
// Silence heard before the recording: a word at its very start is a word, not the end of one
// said before the listening began.
constexpr size_t kLeadSamples = 8000 / 5;  // 200 ms

// The recording as an input device of the table, removed again when done.
class CRegisteredInput final {
 public:
  explicit CRegisteredInput(const std::vector<int16_t>& aSamples)
      : m_pDevice(std::make_shared<CBufferWaveIn>(aSamples)),
        m_uId(CWaveDeviceTable::AddWaveIn(m_pDevice)) {}
  ~CRegisteredInput() { CWaveDeviceTable::RemoveWaveIn(m_uId); }
  CRegisteredInput(const CRegisteredInput&) = delete;
  CRegisteredInput& operator=(const CRegisteredInput&) = delete;

  const CBufferWaveIn& Device() const { return *m_pDevice; }
  uint32_t Id() const { return m_uId; }

 private:
  std::shared_ptr<CBufferWaveIn> m_pDevice;
  uint32_t m_uId;
};

// Takes the queued events; bInPhrase tells whether an utterance has started and not ended.
void TakeRecognitions(ISpRecoContext& oContext, std::vector<std::string>& aUtterances,
                      bool& bInPhrase) {
  SSpEvent oEvent;
  bool bFetched = true;
  while (Succeeded(oContext.GetEvents(oEvent, bFetched)) && bFetched) {
    bInPhrase = oEvent.m_iEventId == SPEI_PHRASE_START;
    if (oEvent.m_iEventId == SPEI_RECOGNITION) aUtterances.push_back(oEvent.m_sText);
  }
}

}  // namespace

bool TranscribeSamples(const std::vector<int16_t>& a8kHz, const std::string& sGrammarPath,
                       std::vector<std::string>& aUtterances) {
  aUtterances.clear();
  std::shared_ptr<ISpRecognizer> pRecognizer;
  std::shared_ptr<ISpRecoContext> pContext;
  std::shared_ptr<ISpRecoGrammar> pGrammar;
  if (!Succeeded(CreateSpInprocRecognizer(pRecognizer)) ||
      !Succeeded(pRecognizer->CreateRecoContext(pContext)) ||
      !Succeeded(pContext->CreateGrammar(0, pGrammar)) ||
      !Succeeded(pGrammar->LoadCmdFromFile(sGrammarPath, SPLO_STATIC)))
    return false;
  std::vector<int16_t> aHeard(kLeadSamples, 0);
  aHeard.insert(aHeard.end(), a8kHz.begin(), a8kHz.end());
  CRegisteredInput oInput(aHeard);
  std::shared_ptr<CSpAudioIn> pAudio = CreateSpMMAudioIn();
  if (!Succeeded(pAudio->SetDeviceId(oInput.Id())) ||
      !Succeeded(pAudio->SetFormat(LineWaveFormat())) ||
      !Succeeded(pRecognizer->SetInput(pAudio, true)) || !Succeeded(pGrammar->SetRuleState(true)))
    return false;
  // Through the recording, then until its last utterance has ended and a stretch of silence
  // has passed without an event.
  HRESULT hr = S_OK;
  bool bInPhrase = false;
  while (hr == S_OK || bInPhrase || oInput.Device().GetRemaining() > 0) {
    hr = pContext->WaitForNotifyEvent(kTailMs);
    if (!Succeeded(hr)) return false;
    TakeRecognitions(*pContext, aUtterances, bInPhrase);
  }
  pGrammar->SetRuleState(false);
  return true;
}

}  // namespace wdx
