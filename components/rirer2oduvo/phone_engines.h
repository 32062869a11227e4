// IPhoneEngines: where the phone component gets its telephony and speech objects from. The
// component asks only this interface for a telephony object, voices, a recogniser, the audio
// objects of a call and the wave devices' format answers, so that the calling logic can be
// driven by other engines (the unit tests' scripted ones). GetRealPhoneEngines() answers with
// the platform's telephony layer, its speech layer and the process's wave device table.
//
// Threading: the real engines may be used from any thread; each object they create follows its
// own layer's contract.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/audio/wave_format.h"
#include "platform/speech/speech.h"
#include "platform/telephony/telephony.h"

namespace wdx::rirer {

class IPhoneEngines {
 public:
  virtual ~IPhoneEngines() = default;
  virtual HRESULT CreateTelephony(const std::string& sWorkingFolder,
                                  std::unique_ptr<ITelephony>& pTelephony) = 0;
  virtual HRESULT CreateVoice(std::shared_ptr<ISpVoice>& pVoice) = 0;
  virtual HRESULT CreateRecognizer(std::shared_ptr<ISpRecognizer>& pRecognizer) = 0;
  virtual std::shared_ptr<CSpAudioOut> CreateAudioOut() = 0;
  virtual std::shared_ptr<CSpAudioIn> CreateAudioIn() = 0;
  virtual HRESULT WaveOutQueryFormat(uint32_t uDeviceId, const SWaveFormat& oFormat) = 0;
  virtual HRESULT WaveInQueryFormat(uint32_t uDeviceId, const SWaveFormat& oFormat) = 0;
  // A short English reason for a telephony result ("busy", "no answer", ...).
  virtual std::string DescribeResult(HRESULT hr) = 0;
};

// The platform's engines (one object per process).
IPhoneEngines& GetRealPhoneEngines();

}  // namespace wdx::rirer
