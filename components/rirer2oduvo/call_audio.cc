// The audio of a call: the call's wave devices bound to the call voice (what the line hears)
// and to the recogniser (what the line says), each in the first stream format the device takes.
#include <functional>

#include "components/rirer2oduvo/calling_thread.h"
#include "components/rirer2oduvo/phone_engines.h"
#include "components/rirer2oduvo/thread_owner.h"
#include "foundation/process_log.h"

namespace wdx::rirer {
namespace {

// The first stream format (indexes 4 to 68, in order) that fnQuery accepts.
bool FindDeviceFormat(const std::function<HRESULT(const SWaveFormat&)>& fnQuery,
                      SWaveFormat& oFormat) {
  for (int iIndex = SPSF_FIRST_INDEX; iIndex <= SPSF_LAST_INDEX; ++iIndex) {
    SWaveFormat oCandidate;
    if (StreamFormatToWaveFormat(iIndex, oCandidate) && fnQuery(oCandidate) == S_OK) {
      oFormat = oCandidate;
      return true;
    }
  }
  return false;
}

HRESULT FailedWith(HRESULT hr) {
  return Succeeded(hr) ? E_FAIL : hr;
}

}  // namespace

HRESULT CCallingThread::SetUpAudio() {
  HRESULT hr = E_UNEXPECTED;
  if (m_pCurrentCall && !Terminating()) {
    hr = SetAudioOutForCall();
    if (!Succeeded(hr)) {
      ZuvLogError("Could not set up audio out for text-to-speech\n");
    } else {
      hr = SetAudioInForCall();
      if (!Succeeded(hr)) ZuvLogError("Could not set up audio in for speech recognition\n");
    }
  }
  if (!Succeeded(hr)) ZuvLogError("CCallingThread::SetUpAudio() failed.");
  return hr;
}

HRESULT CCallingThread::SetAudioOutForCall() {
  if (!m_pCurrentCall) return E_UNEXPECTED;
  if (!m_cpVoice) return E_INVALIDARG;
  uint32_t uDeviceId = 0;
  HRESULT hr = m_pCurrentCall->GetID("wave/out", uDeviceId);
  if (!Succeeded(hr)) {
    ZuvLogError("CCallingThread::SetAudioOutForCall: cannot find compatible output device.");
    ZuvLogError("CCallingThread::SetAudioOutForCall: CoCreateInstance CLSID_SpMMAudioOut failed.");
    return hr;
  }
  SWaveFormat oFormat;
  if (!FindDeviceFormat(
          [&](const SWaveFormat& oTry) { return m_oEngines.WaveOutQueryFormat(uDeviceId, oTry); },
          oFormat)) {
    ZuvLogError("CCallingThread::SetAudioOutForCall: found no supported output device..");
    return SPERR_DEVICE_NOT_SUPPORTED;
  }
  m_cpMMSysAudioOut = m_oEngines.CreateAudioOut();
  if (!m_cpMMSysAudioOut) {
    ZuvLogError("CCallingThread::SetAudioOutForCall: CoCreateInstance CLSID_SpMMAudioOut failed.");
    return E_FAIL;
  }
  hr = m_cpMMSysAudioOut->SetDeviceId(uDeviceId);
  if (!Succeeded(hr)) {
    ZuvLogError("CCallingThread::SetAudioOutForCall: SetDeviceId failed.");
    return FailedWith(hr);
  }
  hr = m_cpMMSysAudioOut->SetFormat(oFormat);
  if (!Succeeded(hr)) {
    ZuvLogError("CCallingThread::SetAudioOutForCall: Set WAV format failed.");
    return FailedWith(hr);
  }
  hr = m_cpVoice->SetOutput(m_cpMMSysAudioOut);
  if (!Succeeded(hr)) {
    ZuvLogError("CCallingThread::SetAudioOutForCall: Set m_cpMMSysAudioOut failed.");
    return FailedWith(hr);
  }
  return S_OK;
}

HRESULT CCallingThread::SetAudioInForCall() {
  if (!m_pCurrentCall) return E_UNEXPECTED;
  if (!m_cpIncomingRecognizer) return E_INVALIDARG;
  auto fnFail = [](const char* szLine, HRESULT hr) {
    ZuvLogError(szLine);
    ZuvLogError("CCallingThread::SetAudioInForCall:  failed.");
    return FailedWith(hr);
  };
  uint32_t uDeviceId = 0;
  HRESULT hr = m_pCurrentCall->GetID("wave/in", uDeviceId);
  if (!Succeeded(hr))
    return fnFail("CCallingThread::SetAudioInForCall:  compatible format select failed.", hr);
  SWaveFormat oFormat;
  if (!FindDeviceFormat(
          [&](const SWaveFormat& oTry) { return m_oEngines.WaveInQueryFormat(uDeviceId, oTry); },
          oFormat)) {
    return fnFail("CCallingThread::SetAudioInForCall:  SPERR_DEVICE_NOT_SUPPORTED.",
                  SPERR_DEVICE_NOT_SUPPORTED);
  }
  m_cpMMSysAudioIn = m_oEngines.CreateAudioIn();
  if (!m_cpMMSysAudioIn)
    return fnFail("CCallingThread::SetAudioInForCall:  CoCreateInstance failed.", E_FAIL);
  hr = m_cpMMSysAudioIn->SetDeviceId(uDeviceId);
  if (!Succeeded(hr))
    return fnFail("CCallingThread::SetAudioInForCall:  m_cpMMSysAudioIn SetDeviceId failed.", hr);
  hr = m_cpMMSysAudioIn->SetFormat(oFormat);
  if (!Succeeded(hr))
    return fnFail("CCallingThread::SetAudioInForCall: m_cpMMSysAudioIn SetFormat failed.", hr);
  hr = m_cpIncomingRecognizer->SetInput(m_cpMMSysAudioIn, true);
  if (!Succeeded(hr)) {
    return fnFail("CCallingThread::SetAudioInForCall: m_cpIncomingRecognizer  SetInput failed.",
                  hr);
  }
  ZuvLogEvent("CCallingThread::SetAudioInForCall: done.");
  return S_OK;
}

void CCallingThread::ReleaseTheCall() {
  m_pCurrentCall.reset();
  if (m_cpMMSysAudioOut) m_cpMMSysAudioOut->SetState(SPAS_STOP);
  if (m_cpMMSysAudioIn) m_cpMMSysAudioIn->SetState(SPAS_STOP);
  m_cpMMSysAudioOut.reset();
  m_cpMMSysAudioIn.reset();
}

}  // namespace wdx::rirer
