// The platform's telephony and speech layers behind IPhoneEngines.
#include "components/rirer2oduvo/phone_engines.h"

#include "components/rirer2oduvo/sip_settings.h"
#include "platform/audio/wave_devices.h"

namespace wdx::rirer {
namespace {

class CRealPhoneEngines final : public IPhoneEngines {
 public:
  HRESULT CreateTelephony(const std::string& sWorkingFolder,
                          std::unique_ptr<ITelephony>& pTelephony) override {
    return ::wdx::CreateTelephony(
        sWorkingFolder, [sWorkingFolder] { return ReadSipAccount(sWorkingFolder); }, pTelephony);
  }
  HRESULT CreateVoice(std::shared_ptr<ISpVoice>& pVoice) override { return CreateSpVoice(pVoice); }
  HRESULT CreateRecognizer(std::shared_ptr<ISpRecognizer>& pRecognizer) override {
    return CreateSpInprocRecognizer(pRecognizer);
  }
  std::shared_ptr<CSpAudioOut> CreateAudioOut() override { return CreateSpMMAudioOut(); }
  std::shared_ptr<CSpAudioIn> CreateAudioIn() override { return CreateSpMMAudioIn(); }
  HRESULT WaveOutQueryFormat(uint32_t uDeviceId, const SWaveFormat& oFormat) override {
    return CWaveDeviceTable::WaveOutQueryFormat(uDeviceId, oFormat);
  }
  HRESULT WaveInQueryFormat(uint32_t uDeviceId, const SWaveFormat& oFormat) override {
    return CWaveDeviceTable::WaveInQueryFormat(uDeviceId, oFormat);
  }
  std::string DescribeResult(HRESULT hr) override { return DescribeTelephonyResult(hr); }
};

}  // namespace

IPhoneEngines& GetRealPhoneEngines() {
  static CRealPhoneEngines oEngines;
  return oEngines;
}

}  // namespace wdx::rirer
