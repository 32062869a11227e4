// The process's one espeak-ng engine: initialised on first use, used under one lock.
#include <espeak-ng/speak_lib.h>

#include <mutex>

#include "platform/audio/resampler.h"
#include "platform/platform_log.h"
#include "platform/speech/speech.h"

namespace wdx {
namespace {

struct SEngine {
  std::mutex m_oLock;
  bool m_bTried = false;
  int m_iRate = 0;  // 0: not available
};

SEngine& GetEngine() {
  static SEngine oEngine;
  return oEngine;
}

int CollectSamples(short* pWave, int iCount, espeak_EVENT* pEvents) {
  if (pWave == nullptr || iCount <= 0 || pEvents == nullptr) return 0;
  auto* pOut = static_cast<std::vector<int16_t>*>(pEvents->user_data);
  if (pOut != nullptr) pOut->insert(pOut->end(), pWave, pWave + iCount);
  return 0;
}

// Under the engine lock.
bool StartEngine(SEngine& oEngine) {
  if (oEngine.m_bTried) return oEngine.m_iRate > 0;
  oEngine.m_bTried = true;
  const int iRate =
      espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 200, nullptr, espeakINITIALIZE_DONT_EXIT);
  if (iRate <= 0) {
    PlatformLogError("Speech synthesis: espeak-ng could not be initialised (is espeak-ng-data installed?).");
    return false;
  }
  espeak_SetSynthCallback(&CollectSamples);
  if (espeak_SetVoiceByName("en-us") != EE_OK && espeak_SetVoiceByName("en") != EE_OK) {
    PlatformLogError("Speech synthesis: espeak-ng has no English voice.");
    return false;
  }
  espeak_SetParameter(espeakRATE, 150, 0);
  oEngine.m_iRate = iRate;
  return true;
}

}  // namespace

bool SynthesizeSpeech(const std::string& sText, uint32_t uSampleRate,
                      std::vector<int16_t>& aSamples) {
  aSamples.clear();
  std::vector<int16_t> aEngine;
  int iEngineRate = 0;
  {
    SEngine& oEngine = GetEngine();
    std::lock_guard<std::mutex> oGuard(oEngine.m_oLock);
    if (!StartEngine(oEngine)) return false;
    iEngineRate = oEngine.m_iRate;
    if (!sText.empty()) {
      const espeak_ERROR eResult =
          espeak_Synth(sText.c_str(), sText.size() + 1, 0, POS_CHARACTER, 0,
                       espeakCHARS_UTF8, nullptr, &aEngine);
      if (eResult != EE_OK) return false;
    }
  }
  return ResamplePcm(aEngine, static_cast<uint32_t>(iEngineRate), uSampleRate, aSamples);
}

}  // namespace wdx
