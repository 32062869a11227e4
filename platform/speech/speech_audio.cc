// The audio objects of the speech layer: bound by identifier to a call's wave devices.
#include "platform/audio/wave_devices.h"
#include "platform/platform_log.h"
#include "platform/speech/speech.h"

namespace wdx {
namespace {

bool IsKnownState(int iState) {
  return iState == SPAS_CLOSED || iState == SPAS_STOP || iState == SPAS_PAUSE || iState == SPAS_RUN;
}

class CMMAudioOut final : public CSpAudioOut {
 public:
  HRESULT SetDeviceId(uint32_t uDeviceId) override {
    std::shared_ptr<IWaveOutDevice> pDevice = CWaveDeviceTable::FindWaveOut(uDeviceId);
    if (!pDevice) {
      PlatformLogError("Speech audio: no wave output device has that identifier.");
      return MMSYSERR_BADDEVICEID;
    }
    m_pDevice = std::move(pDevice);
    return S_OK;
  }

  HRESULT SetFormat(const SWaveFormat& oFormat) override {
    if (!m_pDevice) return SPERR_UNINITIALIZED;
    if (!m_pDevice->SupportsFormat(oFormat)) {
      PlatformLogError("Speech audio: the wave output device does not take that format.");
      return SPERR_UNSUPPORTED_FORMAT;
    }
    m_oFormat = oFormat;
    return S_OK;
  }

  HRESULT SetState(int iState) override {
    if (!IsKnownState(iState)) return E_INVALIDARG;
    if (!m_pDevice) return SPERR_UNINITIALIZED;
    // Stopping an output drops what it has not played yet.
    if (iState == SPAS_STOP || iState == SPAS_CLOSED) m_pDevice->Purge();
    return S_OK;
  }

  const SWaveFormat& GetFormat() const override { return m_oFormat; }

  bool Write(const std::vector<int16_t>& aSamples) override {
    return m_pDevice && m_pDevice->Write(aSamples.data(), aSamples.size());
  }

  bool Drain(int iTimeoutMs) override { return m_pDevice && m_pDevice->Drain(iTimeoutMs); }

  void Purge() override {
    if (m_pDevice) m_pDevice->Purge();
  }

 private:
  std::shared_ptr<IWaveOutDevice> m_pDevice;
  SWaveFormat m_oFormat = LineWaveFormat();
};

class CMMAudioIn final : public CSpAudioIn {
 public:
  HRESULT SetDeviceId(uint32_t uDeviceId) override {
    std::shared_ptr<IWaveInDevice> pDevice = CWaveDeviceTable::FindWaveIn(uDeviceId);
    if (!pDevice) {
      PlatformLogError("Speech audio: no wave input device has that identifier.");
      return MMSYSERR_BADDEVICEID;
    }
    m_pDevice = std::move(pDevice);
    return S_OK;
  }

  HRESULT SetFormat(const SWaveFormat& oFormat) override {
    if (!m_pDevice) return SPERR_UNINITIALIZED;
    if (!m_pDevice->SupportsFormat(oFormat)) {
      PlatformLogError("Speech audio: the wave input device does not take that format.");
      return SPERR_UNSUPPORTED_FORMAT;
    }
    m_oFormat = oFormat;
    return S_OK;
  }

  HRESULT SetState(int iState) override {
    if (!IsKnownState(iState)) return E_INVALIDARG;
    if (!m_pDevice) return SPERR_UNINITIALIZED;
    m_pDevice->SetListening(iState == SPAS_RUN);
    return S_OK;
  }

  const SWaveFormat& GetFormat() const override { return m_oFormat; }

  size_t Read(int16_t* pSamples, size_t uCount) override {
    return m_pDevice ? m_pDevice->Read(pSamples, uCount) : 0;
  }

 private:
  std::shared_ptr<IWaveInDevice> m_pDevice;
  SWaveFormat m_oFormat = LineWaveFormat();
};

}  // namespace

std::shared_ptr<CSpAudioOut> CreateSpMMAudioOut() {
  return std::make_shared<CMMAudioOut>();
}

std::shared_ptr<CSpAudioIn> CreateSpMMAudioIn() {
  return std::make_shared<CMMAudioIn>();
}

}  // namespace wdx
