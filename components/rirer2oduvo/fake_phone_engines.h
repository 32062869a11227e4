// Scripted engines for the phone component's unit tests: a telephony object with one audio
// line whose far end follows the number ("fake:yes", "fake:no", "fake:silent", "fake:busy",
// "fake:noanswer", "fake:hangup", "fake:say:WORDS|WORDS..." one answer per listening turn), a
// voice that writes down what it says, and a recogniser that "hears" the far end's answer when
// a grammar is active. Events are delivered on the caller's thread.
//
// Threading: one calling thread at a time; the record is locked for the test thread's reads.
#pragma once

#include <sys/stat.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "components/rirer2oduvo/phone_engines.h"
#include "platform/audio/wave_devices.h"

namespace wdx::rirer::test {

struct SFakeWorld {
  std::mutex m_oMutex;
  std::vector<std::string> m_aDialled;
  std::vector<std::string> m_aSpoken;  // "NUMBER: text" for each non-empty speak
  std::string m_sNumber;               // the connected call's number, "" when none
  ITelEventSink* m_pSink = nullptr;
  int m_iTurn = 0;
  bool m_bListening = false;
  bool m_bHungUp = false;
  bool m_bFailRecognizer = false;
  SWaveFormat m_oAccepted = LineWaveFormat();
  std::vector<SWaveFormat> m_aOutQueries;

  std::vector<std::string> Spoken() {
    std::lock_guard<std::mutex> oGuard(m_oMutex);
    return m_aSpoken;
  }
  std::vector<std::string> Dialled() {
    std::lock_guard<std::mutex> oGuard(m_oMutex);
    return m_aDialled;
  }
  // The far end's answer for this turn: "" when it stays silent.
  std::string Answer() const {
    const std::string sSay = "fake:say:";
    std::string sAnswers;
    if (m_sNumber == "fake:yes") sAnswers = "YES";
    if (m_sNumber == "fake:no") sAnswers = "No";
    if (m_sNumber.rfind(sSay, 0) == 0) sAnswers = m_sNumber.substr(sSay.size());
    size_t uStart = 0;
    for (int i = 0; i < m_iTurn && uStart != std::string::npos; ++i) {
      uStart = sAnswers.find('|', uStart);
      if (uStart != std::string::npos) ++uStart;
    }
    if (uStart == std::string::npos) return "";
    return sAnswers.substr(uStart, sAnswers.find('|', uStart) - uStart);
  }
  void Deliver(const ITelCall* pCall, int iState) {
    if (m_pSink != nullptr) m_pSink->Event(STelEvent{TE_CALLSTATE, iState, pCall});
  }
};

class CFakeCall final : public ITelCall {
 public:
  CFakeCall(SFakeWorld& oWorld, std::string sNumber) : m_oWorld(oWorld), m_sNumber(sNumber) {}
  HRESULT Connect(bool) override {
    {
      std::lock_guard<std::mutex> oGuard(m_oWorld.m_oMutex);
      m_oWorld.m_aDialled.push_back(m_sNumber);
    }
    if (m_sNumber == "fake:busy") return TEL_E_BUSY;
    if (m_sNumber == "fake:noanswer") return TEL_E_NOANSWER;
    m_oWorld.Deliver(this, CS_INPROGRESS);
    {
      std::lock_guard<std::mutex> oGuard(m_oWorld.m_oMutex);
      m_oWorld.m_sNumber = m_sNumber;
      m_oWorld.m_iTurn = 0;
      m_oWorld.m_bHungUp = false;
    }
    m_iState = CS_CONNECTED;
    m_oWorld.Deliver(this, CS_CONNECTED);
    return S_OK;
  }
  HRESULT Disconnect() override {
    if (m_iState != CS_CONNECTED) return S_OK;
    m_iState = CS_DISCONNECTED;
    {
      std::lock_guard<std::mutex> oGuard(m_oWorld.m_oMutex);
      m_oWorld.m_sNumber.clear();
    }
    m_oWorld.Deliver(this, CS_DISCONNECTED);
    return S_OK;
  }
  HRESULT GetID(const std::string& sClass, uint32_t& uId) override {
    if (m_iState != CS_CONNECTED) return E_FAIL;
    uId = sClass == "wave/out" ? 1 : 2;
    return S_OK;
  }
  int GetCallState() const override { return m_iState; }
  const std::string& GetNumber() const override { return m_sNumber; }

 private:
  SFakeWorld& m_oWorld;
  std::string m_sNumber;
  int m_iState = CS_IDLE;
};

class CFakeAddress final : public ITelAddress {
 public:
  explicit CFakeAddress(SFakeWorld& oWorld) : m_oWorld(oWorld) {}
  const std::string& GetName() const override { return m_sName; }
  HRESULT QueryMediaType(int iMedia) override {
    return iMedia == TAPIMEDIATYPE_AUDIO ? S_OK : S_FALSE;
  }
  HRESULT CreateCall(const std::string& sNumber, int, int,
                     std::shared_ptr<ITelCall>& pCall) override {
    if (sNumber.rfind("fake:", 0) != 0) return TEL_E_BADNUMBER;
    pCall = std::make_shared<CFakeCall>(m_oWorld, sNumber);
    return S_OK;
  }

 private:
  SFakeWorld& m_oWorld;
  std::string m_sName = "Fake line";
};

class CFakeTelephony final : public ITelephony {
 public:
  explicit CFakeTelephony(SFakeWorld& oWorld) : m_oWorld(oWorld) {}
  HRESULT Initialize() override { return S_OK; }
  HRESULT Shutdown() override { return S_OK; }
  HRESULT EnumerateAddresses(std::vector<std::shared_ptr<ITelAddress>>& aAddresses) override {
    aAddresses = {std::make_shared<CFakeAddress>(m_oWorld)};
    return S_OK;
  }
  HRESULT Advise(ITelEventSink* pSink, uint32_t& uCookie) override {
    m_oWorld.m_pSink = pSink;
    uCookie = 1;
    return S_OK;
  }
  HRESULT Unadvise(uint32_t) override {
    m_oWorld.m_pSink = nullptr;
    return S_OK;
  }
  HRESULT SetEventFilter(int) override { return S_OK; }

 private:
  SFakeWorld& m_oWorld;
};

class CFakeVoice final : public ISpVoice {
 public:
  explicit CFakeVoice(SFakeWorld& oWorld) : m_oWorld(oWorld) {}
  HRESULT SetOutput(std::shared_ptr<CSpAudioOut> pOutput) override {
    m_bHasOutput = pOutput != nullptr;
    return S_OK;
  }
  HRESULT Speak(const std::string& sText, uint32_t) override {
    if (!m_bHasOutput || sText.empty()) return S_OK;
    std::lock_guard<std::mutex> oGuard(m_oWorld.m_oMutex);
    if (m_oWorld.m_sNumber.empty() || m_oWorld.m_bHungUp) return E_FAIL;  // the line is gone
    m_oWorld.m_aSpoken.push_back(m_oWorld.m_sNumber + ": " + sText);
    // "fake:hangup" puts the phone down while "Repeat!" is being said.
    if (m_oWorld.m_sNumber == "fake:hangup" && sText == "Repeat!") {
      m_oWorld.m_bHungUp = true;
      if (m_oWorld.m_pSink != nullptr) {
        m_oWorld.m_pSink->Event(STelEvent{TE_CALLSTATE, CS_DISCONNECTED, nullptr});
      }
      return E_FAIL;
    }
    return S_OK;
  }
  HRESULT WaitUntilDone(uint32_t) override { return S_OK; }

 private:
  SFakeWorld& m_oWorld;
  bool m_bHasOutput = false;
};

class CFakeGrammar final : public ISpRecoGrammar {
 public:
  explicit CFakeGrammar(SFakeWorld& oWorld) : m_oWorld(oWorld) {}
  HRESULT LoadCmdFromFile(const std::string& sPath, int) override {
    struct stat oStat {};
    return stat(sPath.c_str(), &oStat) == 0 ? S_OK : SPERR_NOT_FOUND;
  }
  HRESULT SetRuleState(bool bActive) override {
    std::lock_guard<std::mutex> oGuard(m_oWorld.m_oMutex);
    m_oWorld.m_bListening = bActive;
    return S_OK;
  }

 private:
  SFakeWorld& m_oWorld;
};

class CFakeContext final : public ISpRecoContext {
 public:
  explicit CFakeContext(SFakeWorld& oWorld) : m_oWorld(oWorld) {}
  HRESULT SetInterest(uint64_t, uint64_t) override { return S_OK; }
  HRESULT SetAudioOptions(bool) override { return S_OK; }
  HRESULT CreateGrammar(uint64_t, std::shared_ptr<ISpRecoGrammar>& pGrammar) override {
    pGrammar = std::make_shared<CFakeGrammar>(m_oWorld);
    return S_OK;
  }
  HRESULT GetVoice(std::shared_ptr<ISpVoice>& pVoice) override {
    pVoice = std::make_shared<CFakeVoice>(m_oWorld);
    return S_OK;
  }
  HRESULT WaitForNotifyEvent(uint32_t) override {
    if (!m_aEvents.empty()) return S_OK;
    std::lock_guard<std::mutex> oGuard(m_oWorld.m_oMutex);
    if (!m_oWorld.m_bListening || m_oWorld.m_sNumber.empty()) return SPERR_AUDIO_STOPPED;
    const std::string sAnswer = m_oWorld.Answer();
    ++m_oWorld.m_iTurn;
    if (sAnswer.empty()) return S_FALSE;
    m_aEvents.push_back(SSpEvent{SPEI_PHRASE_START, ""});
    m_aEvents.push_back(SSpEvent{SPEI_RECOGNITION, sAnswer});
    return S_OK;
  }
  HRESULT GetEvents(SSpEvent& oEvent, bool& bFetched) override {
    bFetched = !m_aEvents.empty();
    if (bFetched) {
      oEvent = m_aEvents.front();
      m_aEvents.erase(m_aEvents.begin());
    }
    return S_OK;
  }
  void ClearEvents() override { m_aEvents.clear(); }

 private:
  SFakeWorld& m_oWorld;
  std::vector<SSpEvent> m_aEvents;
};

class CFakeRecognizer final : public ISpRecognizer {
 public:
  explicit CFakeRecognizer(SFakeWorld& oWorld) : m_oWorld(oWorld) {}
  HRESULT CreateRecoContext(std::shared_ptr<ISpRecoContext>& pContext) override {
    pContext = std::make_shared<CFakeContext>(m_oWorld);
    return S_OK;
  }
  HRESULT SetInput(std::shared_ptr<CSpAudioIn>, bool) override { return S_OK; }

 private:
  SFakeWorld& m_oWorld;
};

class CFakeAudioOut final : public CSpAudioOut {
 public:
  HRESULT SetDeviceId(uint32_t) override { return S_OK; }
  HRESULT SetFormat(const SWaveFormat& oFormat) override {
    m_oFormat = oFormat;
    return S_OK;
  }
  HRESULT SetState(int) override { return S_OK; }
  const SWaveFormat& GetFormat() const override { return m_oFormat; }
  bool Write(const std::vector<int16_t>&) override { return true; }
  bool Drain(int) override { return true; }
  void Purge() override {}

 private:
  SWaveFormat m_oFormat;
};

class CFakeAudioIn final : public CSpAudioIn {
 public:
  HRESULT SetDeviceId(uint32_t) override { return S_OK; }
  HRESULT SetFormat(const SWaveFormat& oFormat) override {
    m_oFormat = oFormat;
    return S_OK;
  }
  HRESULT SetState(int) override { return S_OK; }
  const SWaveFormat& GetFormat() const override { return m_oFormat; }
  size_t Read(int16_t*, size_t) override { return 0; }

 private:
  SWaveFormat m_oFormat;
};

class CFakePhoneEngines final : public IPhoneEngines {
 public:
  HRESULT CreateTelephony(const std::string&, std::unique_ptr<ITelephony>& pTelephony) override {
    pTelephony = std::make_unique<CFakeTelephony>(m_oWorld);
    return S_OK;
  }
  HRESULT CreateVoice(std::shared_ptr<ISpVoice>& pVoice) override {
    pVoice = std::make_shared<CFakeVoice>(m_oWorld);
    return S_OK;
  }
  HRESULT CreateRecognizer(std::shared_ptr<ISpRecognizer>& pRecognizer) override {
    if (m_oWorld.m_bFailRecognizer) return E_FAIL;
    pRecognizer = std::make_shared<CFakeRecognizer>(m_oWorld);
    return S_OK;
  }
  std::shared_ptr<CSpAudioOut> CreateAudioOut() override {
    return std::make_shared<CFakeAudioOut>();
  }
  std::shared_ptr<CSpAudioIn> CreateAudioIn() override { return std::make_shared<CFakeAudioIn>(); }
  HRESULT WaveOutQueryFormat(uint32_t, const SWaveFormat& oFormat) override {
    std::lock_guard<std::mutex> oGuard(m_oWorld.m_oMutex);
    m_oWorld.m_aOutQueries.push_back(oFormat);
    return oFormat == m_oWorld.m_oAccepted ? S_OK : WAVERR_BADFORMAT;
  }
  HRESULT WaveInQueryFormat(uint32_t, const SWaveFormat& oFormat) override {
    return oFormat == m_oWorld.m_oAccepted ? S_OK : WAVERR_BADFORMAT;
  }
  std::string DescribeResult(HRESULT hr) override {
    return hr == TEL_E_BUSY ? "busy" : hr == TEL_E_NOANSWER ? "no answer" : "failed";
  }

  SFakeWorld m_oWorld;
};

}  // namespace wdx::rirer::test
