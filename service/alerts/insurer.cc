#include "service/alerts/insurer.h"

#include "foundation/process_log.h"
#include "platform/debug_output.h"

namespace wdx {
namespace {

// Double quotes keep blanks; a backslash inside them escapes '"' and '\'.
std::string QuoteWord(const std::string& sWord) {
  if (sWord.find_first_of(" \t\"'\\") == std::string::npos) return sWord;
  std::string sQuoted = "\"";
  for (char c : sWord) {
    if (c == '"' || c == '\\') sQuoted += '\\';
    sQuoted += c;
  }
  return sQuoted + "\"";
}

}  // namespace

CInsurer::CInsurer() : CZuvBase("CInsurer") {}

CInsurer::~CInsurer() {
  Release();
}

std::string CInsurer::GetCommandLine() const {
  return QuoteWord(m_sFolder + INSURER_RESET_SCRIPT);
}

bool CInsurer::Initialize() {
  m_bReady = false;
  CreateInsurer();
  m_bReady = true;
  return true;
}

IActor* CInsurer::CreateInsurer() {
  Release();
  ZuvLogEvent("CInsurer::1");
  // The component layer needs no per-thread initialisation: it is always ready.
  DebugOutput("CInsurer::CoInitialize OK in CInsurer\n");
  ZuvLogEvent("CInsurer::CPW 2");
  IActor* pActor = nullptr;
  const HRESULT hr = CreateInstance(CLSID_Actor, IID_IActor, reinterpret_cast<void**>(&pActor));
  ZuvLogEvent("CInsurer::CPW 3");
  if (!Succeeded(hr) || pActor == nullptr) {
    ZuvLogError("CInsurer::3");
    ZuvLogError("CInsurer::CreateInsurer failed.");
  } else {
    ZuvLogEvent("CInsurer::4");
    ZuvLogEvent("CInsurer::5");
    m_pActor = pActor;
    Configure();
  }
  ZuvLogEvent("CInsurer::CPW done");
  return m_pActor;
}

bool CInsurer::Configure() {
  int32_t lResult = 0;
  ZuvLogEvent("CInsurer::6");
  m_pActor->SetAct1(CVariant(GetCommandLine()), CVariant(true), CVariant(false),
                    CVariant(m_lTimeoutMs), &lResult);
  ZuvLogEvent("CInsurer::7");
  if (lResult != -1) {
    ZuvLogError("CInsurer::CreateInsurer failed.");
    return false;
  }
  ZuvLogEvent("CInsurer::8");
  m_lConfiguredMs = m_lTimeoutMs;
  return true;
}

void CInsurer::SetTimeout(int32_t lMilliseconds) {
  m_lTimeoutMs = lMilliseconds;
  if (m_pActor != nullptr && m_lTimeoutMs != m_lConfiguredMs) Configure();
}

bool CInsurer::Go() {
  if (m_pActor == nullptr) return false;
  int32_t lResult = 0;
  m_pActor->Go(&lResult);
  return lResult == -1;
}

bool CInsurer::Stop() {
  if (m_pActor == nullptr) return false;
  int32_t lResult = 0;
  m_pActor->Stop(&lResult);
  return lResult == -1;
}

void CInsurer::Release() {
  if (m_pActor == nullptr) return;
  while (m_pActor->Release() > 0) {
  }
  m_pActor = nullptr;
}

}  // namespace wdx
