// The speech engines' cost on a call: the recogniser's CPU time per second of call audio
// (listening as a call does: 20 ms pieces at 8 kHz, converted to 16 kHz, voice activity and
// whole-utterance decoding), and the synthesiser's CPU time per second of speech it produces.
// Both are process CPU time (CLOCK_PROCESS_CPUTIME_ID) over seconds of audio.
#include <benchmark/benchmark.h>
#include <time.h>

#include <memory>

#include "platform/audio/buffer_wave_devices.h"
#include "platform/speech/speech.h"

namespace {

constexpr const char* kGrammar = WDX_DIST_DIR "/grammer1.cfg";
constexpr const char* kMessage =
    "Server Update! The web site on the main server does not answer. Please check it now.";

double CpuSeconds() {
  timespec oNow{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &oNow);
  return static_cast<double>(oNow.tv_sec) + static_cast<double>(oNow.tv_nsec) / 1e9;
}

// A callee's side of a call: answers with pauses between them, 3 s of silence in front of each
// (the time the message takes to be spoken), about 20 s in all.
std::vector<int16_t> CallAudio() {
  std::vector<int16_t> aAudio;
  for (const char* szAnswer : {"no", "what", "yes", "goodbye", "yes please"}) {
    aAudio.resize(aAudio.size() + 3 * 8000, 0);
    std::vector<int16_t> aWords;
    wdx::SynthesizeSpeech(szAnswer, 8000, aWords);
    aAudio.insert(aAudio.end(), aWords.begin(), aWords.end());
  }
  aAudio.resize(aAudio.size() + 8000, 0);
  return aAudio;
}

void BM_RecogniserCpuPerAudioSecond(benchmark::State& oState) {
  std::shared_ptr<wdx::ISpRecognizer> pRecognizer;
  std::shared_ptr<wdx::ISpRecoContext> pContext;
  std::shared_ptr<wdx::ISpRecoGrammar> pGrammar;
  if (wdx::CreateSpInprocRecognizer(pRecognizer) != wdx::S_OK ||
      pRecognizer->CreateRecoContext(pContext) != wdx::S_OK ||
      pContext->CreateGrammar(0, pGrammar) != wdx::S_OK ||
      pGrammar->LoadCmdFromFile(kGrammar, wdx::SPLO_STATIC) != wdx::S_OK) {
    oState.SkipWithError("no recogniser");
    return;
  }
  const std::vector<int16_t> aAudio = CallAudio();
  double dCpu = 0;
  double dAudio = 0;
  int64_t iRecognised = 0;
  for (auto _ : oState) {
    auto pDevice = std::make_shared<wdx::CBufferWaveIn>(aAudio);
    const uint32_t uId = wdx::CWaveDeviceTable::AddWaveIn(pDevice);
    std::shared_ptr<wdx::CSpAudioIn> pInput = wdx::CreateSpMMAudioIn();
    pInput->SetDeviceId(uId);
    pRecognizer->SetInput(pInput, true);
    const double dStart = CpuSeconds();
    pGrammar->SetRuleState(true);
    const uint32_t uMs = static_cast<uint32_t>(aAudio.size() / 8);
    for (uint32_t uHeard = 0; uHeard < uMs; uHeard += 500) {
      pContext->WaitForNotifyEvent(500);
      wdx::SSpEvent oEvent;
      bool bFetched = true;
      while (pContext->GetEvents(oEvent, bFetched) == wdx::S_OK && bFetched)
        iRecognised += oEvent.m_iEventId == wdx::SPEI_RECOGNITION;
    }
    pGrammar->SetRuleState(false);
    dCpu += CpuSeconds() - dStart;
    dAudio += static_cast<double>(aAudio.size()) / 8000.0;
    wdx::CWaveDeviceTable::RemoveWaveIn(uId);
  }
  oState.counters["cpu_s_per_audio_s"] = dCpu / dAudio;
  oState.counters["recognitions_per_call"] =
      static_cast<double>(iRecognised) / static_cast<double>(oState.iterations());
}
BENCHMARK(BM_RecogniserCpuPerAudioSecond)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SynthesisCpuPerSpeechSecond(benchmark::State& oState) {
  std::vector<int16_t> aSpeech;
  if (!wdx::SynthesizeSpeech("", 8000, aSpeech)) {
    oState.SkipWithError("no synthesiser");
    return;
  }
  double dCpu = 0;
  double dSpeech = 0;
  for (auto _ : oState) {
    const double dStart = CpuSeconds();
    wdx::SynthesizeSpeech(kMessage, 8000, aSpeech);
    dCpu += CpuSeconds() - dStart;
    dSpeech += static_cast<double>(aSpeech.size()) / 8000.0;
  }
  oState.counters["cpu_s_per_speech_s"] = dCpu / dSpeech;
}
BENCHMARK(BM_SynthesisCpuPerSpeechSecond)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace

BENCHMARK_MAIN();
