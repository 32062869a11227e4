#include "platform/telephony/sim_line.h"

#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "platform/clock.h"
#include "platform/platform_log.h"
#include "platform/speech/speech.h"
#include "platform/telephony/sim_callee.h"
#include "platform/telephony/tel_backend.h"

namespace wdx {
namespace {

// A ring is waited in slices of service time so that a hang-up ends it within one slice.
constexpr int kRingSliceMs = 20;

std::atomic<int> g_iRecordingNo{0};

bool IsBlank(const std::string& sText) {
  return std::all_of(sText.begin(), sText.end(), [](char c) { return c == ' ' || c == '\t'; });
}

// "<folder>simcalls/<YYYYMMDD-HHMMSS>-<n>-<script>.wav" for a file that does not exist yet.
std::string NewRecordingPath(const std::string& sFolder, const std::string& sScript) {
  SLocalTime oNow;
  if (!GetClock().GetLocalTime(oNow)) oNow = SLocalTime{};
  char szStamp[32];
  std::snprintf(szStamp, sizeof(szStamp), "%04d%02d%02d-%02d%02d%02d", oNow.m_iYear, oNow.m_iMonth,
                oNow.m_iDay, oNow.m_iHour, oNow.m_iMinute, oNow.m_iSecond);
  for (;;) {
    const std::string sPath =
        sFolder + szStamp + "-" + std::to_string(++g_iRecordingNo) + "-" + sScript + ".wav";
    struct stat oStat {};
    if (::stat(sPath.c_str(), &oStat) != 0) return sPath;  // another process may have taken n
  }
}

class CSimCall final : public ITelCall, public std::enable_shared_from_this<CSimCall> {
 public:
  CSimCall(std::string sNumber, SSimNumber oScript, std::shared_ptr<CTelEventHub> pHub,
           std::string sRecordingFolder)
      : m_sNumber(std::move(sNumber)),
        m_oScript(std::move(oScript)),
        m_pHub(std::move(pHub)),
        m_sRecordingFolder(std::move(sRecordingFolder)) {}
  ~CSimCall() override;
  CSimCall(const CSimCall&) = delete;
  CSimCall& operator=(const CSimCall&) = delete;

  HRESULT Connect(bool bSync) override;
  HRESULT Disconnect() override;
  HRESULT GetID(const std::string& sDeviceClass, uint32_t& uDeviceId) override;
  int GetCallState() const override { return m_iState.load(); }
  const std::string& GetNumber() const override { return m_sNumber; }

 private:
  bool Ring(int iMilliseconds) const;
  HRESULT GiveUp(HRESULT hrReason);
 public:
  // The far end pressed a key: told to the sinks while the call is up.
  void PressKey(char cKey);

 private:
  HRESULT Answer();
  std::shared_ptr<CSimCallee> StartCallee();
  // Under m_oLock: the new state, told to the sinks; the sequence number of its event.
  uint64_t SetState(int iState);

  const std::string m_sNumber;
  const SSimNumber m_oScript;
  const std::shared_ptr<CTelEventHub> m_pHub;
  const std::string m_sRecordingFolder;
  std::mutex m_oLock;
  std::atomic<int> m_iState{CS_IDLE};
  std::shared_ptr<CSimCallee> m_pCallee;
  uint32_t m_uWaveOut = 0;
  uint32_t m_uWaveIn = 0;
};

CSimCall::~CSimCall() {
  if (m_pCallee) m_pCallee->Close();
  if (m_uWaveOut != 0) CWaveDeviceTable::RemoveWaveOut(m_uWaveOut);
  if (m_uWaveIn != 0) CWaveDeviceTable::RemoveWaveIn(m_uWaveIn);
}

uint64_t CSimCall::SetState(int iState) {
  m_iState.store(iState);
  return m_pHub->Post(shared_from_this(), TE_CALLSTATE, iState);
}

HRESULT CSimCall::Connect(bool bSync) {
  if (!bSync) return E_INVALIDARG;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (m_iState.load() == CS_DISCONNECTED) return TEL_E_DISCONNECTED;
    if (m_iState.load() != CS_IDLE) return E_UNEXPECTED;
    SetState(CS_INPROGRESS);
  }
  if (!Ring(m_oScript.m_iRingMs)) return TEL_E_DISCONNECTED;
  if (m_oScript.m_bBusy) return GiveUp(TEL_E_BUSY);
  if (!m_oScript.m_bAnswers) return GiveUp(TEL_E_NOANSWER);
  return Answer();
}

bool CSimCall::Ring(int iMilliseconds) const {
  for (int iLeft = ScaleInterval(iMilliseconds); iLeft > 0; iLeft -= kRingSliceMs) {
    if (m_iState.load() != CS_INPROGRESS) return false;
    GetClock().SleepMs(std::min(iLeft, kRingSliceMs));
  }
  return m_iState.load() == CS_INPROGRESS;
}

HRESULT CSimCall::GiveUp(HRESULT hrReason) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_iState.load() != CS_INPROGRESS) return TEL_E_DISCONNECTED;
  SetState(CS_DISCONNECTED);
  return hrReason;
}

HRESULT CSimCall::Answer() {
  uint64_t uConnected = 0;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    if (m_iState.load() != CS_INPROGRESS) return TEL_E_DISCONNECTED;
    m_pCallee = StartCallee();
    m_uWaveOut = CWaveDeviceTable::AddWaveOut(std::make_shared<CSimWaveOut>(m_pCallee));
    m_uWaveIn = CWaveDeviceTable::AddWaveIn(std::make_shared<CSimWaveIn>(m_pCallee));
    uConnected = SetState(CS_CONNECTED);
  }
  m_pHub->WaitDelivered(uConnected);
  return m_iState.load() == CS_CONNECTED ? S_OK : TEL_E_DISCONNECTED;
}

std::shared_ptr<CSimCallee> CSimCall::StartCallee() {
  SSimCalleeScript oCallee;
  oCallee.m_sWords = m_oScript.m_sWords;
  oCallee.m_cKey = m_oScript.m_cKey;
  if (m_oScript.m_bHangsUp)
    oCallee.m_uHangUpAfter = uint64_t{kSimLineRate} * kSimHangUpAfterMs / 1000;
  auto pCallee = std::make_shared<CSimCallee>(m_sNumber, std::move(oCallee));
  std::error_code oError;
  std::filesystem::create_directories(m_sRecordingFolder, oError);
  if (oError) {
    const std::string sText = "Simulated call to " + m_sNumber + " cannot be recorded: folder " +
                              m_sRecordingFolder + ": " + oError.message();
    PlatformLogError(sText.c_str());
  } else {
    pCallee->StartRecording(NewRecordingPath(m_sRecordingFolder, m_oScript.m_sScript));
  }
  // The far end hangs up on the writing thread; the call may be gone by then.
  std::weak_ptr<CSimCall> pWeak = weak_from_this();
  pCallee->SetHangUpHandler([pWeak] {
    if (auto pCall = pWeak.lock()) pCall->Disconnect();
  });
  pCallee->SetKeyHandler([pWeak](char cKey) {
    if (auto pCall = pWeak.lock()) pCall->PressKey(cKey);
  });
  return pCallee;
}

void CSimCall::PressKey(char cKey) {
  std::lock_guard<std::mutex> oGuard(m_oLock);
  if (m_iState.load() == CS_CONNECTED) m_pHub->PostDigit(shared_from_this(), cKey);
}

HRESULT CSimCall::Disconnect() {
  std::shared_ptr<CSimCallee> pCallee;
  {
    std::lock_guard<std::mutex> oGuard(m_oLock);
    const int iState = m_iState.load();
    if (iState == CS_DISCONNECTED) return S_OK;
    if (iState == CS_IDLE) {
      m_iState.store(CS_DISCONNECTED);  // never dialled: nothing to tell
      return S_OK;
    }
    SetState(CS_DISCONNECTED);
    pCallee = m_pCallee;
  }
  if (pCallee) pCallee->Close();
  return S_OK;
}

HRESULT CSimCall::GetID(const std::string& sDeviceClass, uint32_t& uDeviceId) {
  uDeviceId = 0;
  if (sDeviceClass != "wave/out" && sDeviceClass != "wave/in") return E_INVALIDARG;
  std::lock_guard<std::mutex> oGuard(m_oLock);
  uDeviceId = sDeviceClass == "wave/out" ? m_uWaveOut : m_uWaveIn;
  return uDeviceId != 0 ? S_OK : E_FAIL;
}

class CSimBackend final : public ITelBackend {
 public:
  explicit CSimBackend(std::string sRecordingFolder)
      : m_sRecordingFolder(std::move(sRecordingFolder)) {}

  bool CanDial(const std::string& sNumber) const override {
    return sNumber.compare(0, std::char_traits<char>::length(kSimPrefix), kSimPrefix) == 0;
  }

  HRESULT CreateCall(const std::string& sNumber, std::shared_ptr<CTelEventHub> pHub,
                     std::shared_ptr<ITelCall>& pCall) override {
    SSimNumber oScript;
    if (!ParseSimNumber(sNumber, oScript)) return TEL_E_BADNUMBER;
    pCall = std::make_shared<CSimCall>(sNumber, std::move(oScript), std::move(pHub),
                                       m_sRecordingFolder);
    return S_OK;
  }

 private:
  const std::string m_sRecordingFolder;
};

}  // namespace

bool ParseSimNumber(const std::string& sNumber, SSimNumber& oNumber) {
  oNumber = SSimNumber{};
  const std::string sPrefix = kSimPrefix;
  if (sNumber.compare(0, sPrefix.size(), sPrefix) != 0) return false;
  const std::string sScript = sNumber.substr(sPrefix.size());
  oNumber.m_iRingMs = kSimRingMs;
  oNumber.m_bAnswers = true;
  oNumber.m_sScript = sScript;
  if (sScript == "yes" || sScript == "no" || sScript == "goodbye") {
    oNumber.m_sWords = sScript;
  } else if (sScript.compare(0, 4, "say:") == 0 && !IsBlank(sScript.substr(4))) {
    oNumber.m_sScript = "say";
    oNumber.m_sWords = sScript.substr(4);
  } else if (sScript.size() == 5 && sScript.compare(0, 4, "key:") == 0 &&
             std::strchr("0123456789*#", sScript[4]) != nullptr) {
    oNumber.m_sScript = "key";
    oNumber.m_cKey = sScript[4];
  } else if (sScript == "hangup") {
    oNumber.m_bHangsUp = true;
  } else if (sScript == "busy") {
    oNumber.m_bAnswers = false;
    oNumber.m_bBusy = true;
  } else if (sScript == "noanswer") {
    oNumber.m_bAnswers = false;
    oNumber.m_iRingMs = kSimNoAnswerMs;
  } else if (sScript != "silent") {
    oNumber = SSimNumber{};
    return false;
  }
  return true;
}

std::unique_ptr<ITelBackend> CreateSimBackend(const std::string& sWorkingFolder) {
  std::string sFolder = sWorkingFolder;
  if (!sFolder.empty() && sFolder.back() != '/') sFolder += '/';
  return std::make_unique<CSimBackend>(sFolder + "simcalls/");
}

}  // namespace wdx
